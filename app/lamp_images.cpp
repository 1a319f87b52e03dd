#include "app/lamp_images.h"

#include <QPainter>
#include <QRadialGradient>

namespace tw {

QPixmap DrawLamp(LampImage which, int size) {
  QPixmap pm(size, size);
  pm.fill(QColor(0x2b, 0x2d, 0x31));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;

  // Housing: a rounded bezel with a soft metallic ring.
  QLinearGradient bezel(0, 0, 0, s);
  bezel.setColorAt(0, QColor(0x55, 0x58, 0x5e));
  bezel.setColorAt(1, QColor(0x18, 0x19, 0x1c));
  p.setPen(Qt::NoPen);
  p.setBrush(bezel);
  p.drawEllipse(QRectF(s * 0.06, s * 0.06, s * 0.88, s * 0.88));
  p.setBrush(QColor(0x10, 0x10, 0x12));
  p.drawEllipse(QRectF(s * 0.11, s * 0.11, s * 0.78, s * 0.78));

  QColor core, mid, edge;
  switch (which) {
    case LampImage::Red: core = QColor(255, 190, 170); mid = QColor(235, 40, 30); edge = QColor(110, 0, 0); break;
    case LampImage::Yellow: core = QColor(255, 250, 200); mid = QColor(250, 195, 20); edge = QColor(130, 80, 0); break;
    case LampImage::Green: core = QColor(210, 255, 200); mid = QColor(40, 200, 60); edge = QColor(0, 80, 10); break;
    case LampImage::Dark: core = QColor(95, 98, 104); mid = QColor(55, 57, 62); edge = QColor(25, 26, 29); break;
  }
  const QRectF glass(s * 0.14, s * 0.14, s * 0.72, s * 0.72);
  if (which != LampImage::Dark) {
    // Glow spilling onto the housing.
    QRadialGradient glow(glass.center(), s * 0.47);
    QColor g = mid;
    g.setAlpha(110);
    glow.setColorAt(0.7, g);
    glow.setColorAt(1.0, QColor(0, 0, 0, 0));
    p.setBrush(glow);
    p.drawEllipse(QRectF(s * 0.03, s * 0.03, s * 0.94, s * 0.94));
  }
  QRadialGradient body(glass.center(), glass.width() / 2, QPointF(s * 0.45, s * 0.42));
  body.setColorAt(0.0, core);
  body.setColorAt(0.55, mid);
  body.setColorAt(1.0, edge);
  p.setBrush(body);
  p.drawEllipse(glass);

  // Glass highlight: a soft white ellipse in the upper left.
  QRadialGradient hl(QPointF(s * 0.40, s * 0.32), s * 0.22);
  hl.setColorAt(0.0, QColor(255, 255, 255, which == LampImage::Dark ? 70 : 170));
  hl.setColorAt(1.0, QColor(255, 255, 255, 0));
  p.setBrush(hl);
  p.drawEllipse(QRectF(s * 0.22, s * 0.18, s * 0.36, s * 0.26));
  return pm;
}

}  // namespace tw
