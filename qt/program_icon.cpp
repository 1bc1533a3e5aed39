#include "qt/program_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>

namespace ravelle {

QImage ProgramIconImage(int size) {
  QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
  icon.fill(Qt::transparent);
  QPainter painter(&icon);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 256.0, size / 256.0);
  // The frame.
  painter.setPen(QPen(QColor(0x3a, 0x3a, 0x3a), 6));
  painter.setBrush(QColor(0xd8, 0xd4, 0xcc));
  painter.drawRoundedRect(QRectF(8, 24, 240, 208), 18, 18);
  const QRectF picture(26, 42, 204, 172);
  // Sky, sun and sea, as in the bundled sunset sample.
  QLinearGradient sky(0, 42, 0, 148);
  sky.setColorAt(0, QColor(0x28, 0x20, 0x6e));
  sky.setColorAt(1, QColor(0xfa, 0x8c, 0x3c));
  painter.setPen(Qt::NoPen);
  painter.fillRect(picture, sky);
  painter.setBrush(QColor(0xff, 0xe1, 0x78));
  painter.drawEllipse(QPointF(128, 128), 30, 30);
  QLinearGradient sea(0, 148, 0, 214);
  sea.setColorAt(0, QColor(0x3c, 0x32, 0x78));
  sea.setColorAt(1, QColor(0x0a, 0x14, 0x3c));
  painter.fillRect(QRectF(26, 148, 204, 66), sea);
  const QColor glint(0xff, 0xbe, 0x64);
  painter.fillRect(QRectF(104, 158, 48, 6), glint);
  painter.fillRect(QRectF(112, 174, 32, 6), glint);
  painter.fillRect(QRectF(120, 190, 16, 5), glint);
  painter.setPen(QPen(Qt::black, 3));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(picture);
  return icon;
}

QIcon ProgramIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(QPixmap::fromImage(ProgramIconImage(size)));
  return icon;
}

}  // namespace ravelle
