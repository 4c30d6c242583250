#include "gui/product_picture.h"

#include <QPainter>
#include <QPainterPath>

QPixmap ProductPicture(int size) {
  QPixmap picture(size, size);
  picture.fill(Qt::transparent);
  QPainter p(&picture);
  p.setRenderHint(QPainter::Antialiasing);
  p.scale(size / 48.0, size / 48.0);
  // The reader's body, its display with a reading, its keys and the sensor cable.
  p.setPen(QPen(QColor(30, 50, 70), 1.5));
  p.setBrush(QColor(0, 110, 160));
  p.drawRoundedRect(QRectF(12, 4, 24, 40), 5, 5);
  p.setBrush(QColor(200, 230, 200));
  p.drawRoundedRect(QRectF(15.5, 8, 17, 12), 2, 2);
  p.setPen(QPen(QColor(20, 60, 20), 1.6));
  p.drawLine(QPointF(18, 16), QPointF(22, 12));
  p.drawLine(QPointF(22, 12), QPointF(25, 15));
  p.drawLine(QPointF(25, 15), QPointF(30, 11));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(235, 235, 235));
  for (int row = 0; row < 3; ++row) {
    for (int column = 0; column < 3; ++column) {
      p.drawEllipse(QRectF(16.5 + column * 6, 24 + row * 5.5, 3.5, 3.5));
    }
  }
  p.setPen(QPen(QColor(60, 60, 60), 2.2));
  p.setBrush(Qt::NoBrush);
  QPainterPath cable;
  cable.moveTo(24, 4);
  cable.cubicTo(24, -1, 40, 2, 42, 10);
  p.drawPath(cable);
  return picture;
}
