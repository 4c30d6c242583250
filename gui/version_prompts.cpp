#include "gui/version_prompts.h"

#include <QDesktopServices>
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
  return ::AskYesNo(window_, QString::fromStdString(text), QString::fromStdString(title));
}

bool WindowVersionPrompts::OpenLink(const std::string& link) {
  return QDesktopServices::openUrl(QUrl(QString::fromStdString(link), QUrl::StrictMode));
}
