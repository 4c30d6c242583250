// The frame and the place of the updater's windows. The main window and the feedback form have a
// fixed size, so their frame offers only the system menu and its close button, never minimize or
// maximize. The main window opens in the middle of its screen; the feedback form and every message
// box open in the middle of the main window, kept whole on its screen. Without a window manager
// (or with one that leaves placement to the program) they would otherwise open at the top left.
#pragma once

#include <Qt>

class QWidget;

// A fixed dialog-like frame for a window of the given type (Qt::Window or Qt::Dialog).
void SetFixedFrame(QWidget* window, Qt::WindowType type);

// Moves the window so that its frame's middle is the middle of its screen's free area.
void CentreOnScreen(QWidget* window);

// Moves the window so that its frame's middle is the middle of the window `over` belongs to (its
// screen when `over` is null or hidden), then back onto that screen where it would stick out.
void CentreOnWindow(QWidget* window, const QWidget* over);
