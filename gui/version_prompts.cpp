#include "gui/version_prompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include "gui/message_box.h"

namespace {

BoxKind KindOf(net::VersionPrompts::Kind kind) {
  switch (kind) {
    case net::VersionPrompts::Kind::kError:
      return BoxKind::kError;
    case net::VersionPrompts::Kind::kWarning:
      return BoxKind::kWarning;
    case net::VersionPrompts::Kind::kInformation:
      return BoxKind::kInformation;
  }
  return BoxKind::kInformation;
}

}  // namespace

void WindowVersionPrompts::Show(Kind kind, const std::string& title, const std::string& text) {
  if (WindowGone()) return;
  ShowMessageBox(window_, QString::fromStdString(text), QString::fromStdString(title),
                 KindOf(kind));
}

bool WindowVersionPrompts::AskYesNo(const std::string& title, const std::string& text) {
  if (WindowGone()) return false;
  QMessageBox box(QMessageBox::Information, QString::fromStdString(title),
                  QString::fromStdString(text), QMessageBox::Yes | QMessageBox::No, window_);
  box.setWindowModality(Qt::WindowModal);
  QApplication::beep();
  return box.exec() == QMessageBox::Yes;
}

bool WindowVersionPrompts::OpenLink(const std::string& link) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(link), QUrl::StrictMode));
}
