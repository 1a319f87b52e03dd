#include "app/bitmap_static.h"

#include <QBitmap>
#include <QPainter>
#include <QPixmap>

namespace tw {

CBitmapStatic::CBitmapStatic(QWidget* parent) : QLabel(parent) {
  // The dialog's background must show through where the picture is white.
  setAutoFillBackground(false);
}

void CBitmapStatic::SetTransparent(bool on) {
  transparent_ = on;
  update();
}

void CBitmapStatic::paintEvent(QPaintEvent* event) {
  if (!transparent_ && !testAttribute(Qt::WA_TranslucentBackground)) {
    QLabel::paintEvent(event);
    return;
  }
  const QPixmap shown = pixmap();
  if (shown.isNull()) return;
  // Mask bits are set where the picture is pure white; those pixels are left unpainted.
  QPixmap picture = shown;
  picture.setMask(shown.createMaskFromColor(QColor(255, 255, 255), Qt::MaskInColor));
  QPainter painter(this);
  painter.drawPixmap(contentsRect().topLeft(), picture);
}

}  // namespace tw
