#include "gui/window_frame.h"

#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace {

// Keeps a frame on the screen's free area; a frame larger than the area keeps its top left in it,
// where the title bar and its close button are.
QRect KeptOn(QRect frame, const QRect& room) {
  frame.moveLeft(std::max(room.left(), std::min(frame.left(), room.right() - frame.width() + 1)));
  frame.moveTop(std::max(room.top(), std::min(frame.top(), room.bottom() - frame.height() + 1)));
  return frame;
}

}  // namespace

void SetFixedFrame(QWidget* window, Qt::WindowType type) {
  window->setWindowFlags(type | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                         Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint);
}

void CentreOnScreen(QWidget* window) {
  const QScreen* screen = window->screen();
  if (!screen) return;
  QRect frame = window->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  window->move(KeptOn(frame, screen->availableGeometry()).topLeft());
}

void CentreOnWindow(QWidget* window, const QWidget* over) {
  const QWidget* owner = over ? over->window() : nullptr;
  if (!owner || !owner->isVisible()) {
    CentreOnScreen(window);
    return;
  }
  QRect frame = window->frameGeometry();
  frame.moveCenter(owner->frameGeometry().center());
  const QScreen* screen = owner->screen();
  window->move(screen ? KeptOn(frame, screen->availableGeometry()).topLeft() : frame.topLeft());
}
