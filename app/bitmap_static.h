// CBitmapStatic: a picture control that can draw its bitmap with white as the transparent
// colour, so a logo on a white ground blends into the dialog's background.
#pragma once
#include <QLabel>

namespace tw {

class CBitmapStatic : public QLabel {
  Q_OBJECT
 public:
  explicit CBitmapStatic(QWidget* parent = nullptr);
  void SetTransparent(bool on);
  bool Transparent() const { return transparent_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool transparent_ = false;
};

}  // namespace tw
