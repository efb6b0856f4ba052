// Draws the icon: a rounded blue square with two subtitle lines, the same picture as the SVG file.
#include "AppIcon.hpp"

#include <QPainter>
#include <QPixmap>

namespace quelvar {
namespace {

QPixmap drawIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);
  painter.setPen(Qt::NoPen);
  painter.setBrush(QColor(0x1f, 0x5f, 0xbf));
  painter.drawRoundedRect(QRectF(4, 4, 56, 56), 12, 12);
  painter.setBrush(Qt::white);
  painter.drawRoundedRect(QRectF(14, 36, 36, 6), 3, 3);
  painter.setBrush(QColor(255, 255, 255, 170));
  painter.drawRoundedRect(QRectF(20, 46, 24, 6), 3, 3);
  painter.setBrush(QColor(0xff, 0xd1, 0x4a));
  painter.drawEllipse(QRectF(24, 12, 16, 16));
  return pixmap;
}

}  // namespace

QIcon appIcon() {
  QIcon drawn;
  for (int size : {16, 24, 32, 48, 64, 128, 256}) {
    drawn.addPixmap(drawIcon(size));
  }
  // An icon theme's copy (installed with the desktop entry) wins where the desktop provides one.
  return QIcon::fromTheme(QStringLiteral(QUELVAR_DESKTOP_ID), drawn);
}

}  // namespace quelvar
