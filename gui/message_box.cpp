#include "gui/message_box.h"

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QShowEvent>
#include <QTextDocument>
#include <algorithm>

#include "gui/window_frame.h"

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

// Room left beside the text for the icon, the spacing and the margins.
constexpr int kBesideText = 120;

class WindowBox : public QMessageBox {
 public:
  WindowBox(Icon icon, const QString& caption, const QString& text, StandardButtons buttons,
            QWidget* parent)
      : QMessageBox(icon, caption, text, buttons, parent) {
    setWindowModality(Qt::WindowModal);
    KeepLinesWhole();
  }

 protected:
  void showEvent(QShowEvent* event) override {
    QMessageBox::showEvent(event);  // gives the box its size
    CentreOnWindow(this, parentWidget());
  }

 private:
  // Qt wraps a box's text at half the screen's width. The updater's texts break their own lines
  // (the data erase warning's first line is long), and a line wrapped again leaves its last word
  // alone before the text's own break. The text gets the width of its longest line instead, when
  // that fits the widest box Qt makes on this screen; longer lines still wrap.
  void KeepLinesWhole() {
    auto* label = findChild<QLabel*>("qt_msgbox_label");
    const QScreen* room = parentWidget() ? parentWidget()->screen() : screen();
    if (!label || !room || Qt::mightBeRichText(text())) return;
    const int screenWidth = room->availableGeometry().width();
    const int widest = screenWidth <= 1024 ? screenWidth : std::min(screenWidth - 480, 1000);
    const bool wrap = label->wordWrap();
    label->setWordWrap(false);
    const int whole = label->sizeHint().width();
    label->setWordWrap(wrap);
    if (whole <= widest - kBesideText) label->setMinimumWidth(whole);
  }
};

}  // namespace

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, BoxKind kind) {
  WindowBox box(IconOf(kind), caption, text, QMessageBox::Ok, parent);
  QApplication::beep();
  box.exec();
}

BoxAnswer AskOkCancel(QWidget* parent, const QString& text, const QString& caption) {
  WindowBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
  return box.exec() == QMessageBox::Ok ? BoxAnswer::kOk : BoxAnswer::kCancel;
}

bool AskYesNo(QWidget* parent, const QString& text, const QString& caption) {
  WindowBox box(QMessageBox::Information, caption, text, QMessageBox::Yes | QMessageBox::No,
                parent);
  QApplication::beep();
  return box.exec() == QMessageBox::Yes;
}
