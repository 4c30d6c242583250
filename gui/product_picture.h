// The product picture of the window (48 x 48) and the program's icon: a hand-held reader with its
// display and keys, drawn rather than stored, so the program needs no image files.
#pragma once

#include <QPixmap>

QPixmap ProductPicture(int size = 48);
