// The window's message boxes: modal to the window, with the icon and the system sound of their
// kind, an OK button (or OK and Cancel for a question).
#pragma once

#include <QString>

#include "app/front_end.h"

class QWidget;

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, BoxKind kind);
BoxAnswer AskOkCancel(QWidget* parent, const QString& text, const QString& caption);
