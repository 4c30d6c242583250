// The window's message boxes: modal to the window and centred on it, with the icon and the system
// sound of their kind, an OK button (or OK and Cancel, or Yes and No, for a question). A box is as
// wide as the longest of its text's own lines when the screen has room for it, so that a line is
// never broken again just before its own line break.
#pragma once

#include <QString>

#include "app/front_end.h"

class QWidget;

void ShowMessageBox(QWidget* parent, const QString& text, const QString& caption, BoxKind kind);
BoxAnswer AskOkCancel(QWidget* parent, const QString& text, const QString& caption);
// An information box with Yes and No; true for Yes.
bool AskYesNo(QWidget* parent, const QString& text, const QString& caption);
