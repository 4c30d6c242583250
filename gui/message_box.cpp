#include "gui/message_box.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QMessageBox::Icon IconOf(BoxKind kind) {
  switch (kind) {
    case BoxKind::kWarning:
      return QMessageBox::Warning;
    case BoxKind::kError:
      return QMessageBox::Critical;
    case BoxKind::kInformation:
      return QMessageBox::Information;
    case BoxKind::kConfirmation:
      return QMessageBox::Question;
    case BoxKind::kPlain:
      return QMessageBox::NoIcon;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, BoxKind kind) {
  QMessageBox box(IconOf(kind), caption, text, QMessageBox::Ok, parent);
  box.setWindowModality(Qt::WindowModal);
  QApplication::beep();
  box.exec();
}

BoxAnswer AskOkCancel(QWidget* parent, const QString& text, const QString& caption) {
  QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok | QMessageBox::Cancel,
                  parent);
  box.setWindowModality(Qt::WindowModal);
  return box.exec() == QMessageBox::Ok ? BoxAnswer::kOk : BoxAnswer::kCancel;
}
