#include "gui/gui_front_end.h"

#include <QApplication>

#include "gui/message_box.h"

GuiFrontEnd::GuiFrontEnd(QWidget* window, std::atomic<bool>* continueFlag)
    : window_(window), continue_(continueFlag) {}

void GuiFrontEnd::SetStatus(const std::string& text) {
  emit statusChanged(QString::fromStdString(text));
}

void GuiFrontEnd::SetConnectLabel(const std::string& text) {
  emit connectLabelChanged(QString::fromStdString(text));
}

void GuiFrontEnd::ShowBox(const std::string& text, const std::string& caption, BoxKind kind) {
  const QString boxText = QString::fromStdString(text);
  const QString boxCaption = QString::fromStdString(caption);
  QWidget* window = window_;
  QMetaObject::invokeMethod(
      window,
      [window, boxText, boxCaption, kind] { ShowMessageBox(window, boxText, boxCaption, kind); },
      Qt::BlockingQueuedConnection);
}

BoxAnswer GuiFrontEnd::Confirm(const std::string& text, const std::string& caption) {
  const QString boxText = QString::fromStdString(text);
  const QString boxCaption = QString::fromStdString(caption);
  QWidget* window = window_;
  BoxAnswer answer = BoxAnswer::kCancel;
  QMetaObject::invokeMethod(
      window,
      [window, boxText, boxCaption, &answer] { answer = AskOkCancel(window, boxText, boxCaption); },
      Qt::BlockingQueuedConnection);
  return answer;
}

void GuiFrontEnd::Beep() {
  QMetaObject::invokeMethod(
      qApp, [] { QApplication::beep(); }, Qt::QueuedConnection);
}
