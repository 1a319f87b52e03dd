#include "app/label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMouseEvent>
#include <QPalette>
#include <QUrl>

#include "app/app_text.h"

namespace tw {

CLabel::CLabel(QWidget* parent) : QLabel(parent) {
  const QPalette system = QApplication::palette();
  fore_ = system.color(QPalette::WindowText);
  back_ = system.color(QPalette::Button);
  description_ = QApplication::font();
  setAutoFillBackground(true);
  Recreate();
}

void CLabel::Recreate() {
  setFont(description_);
  ApplyColours();
  repaint();
}

void CLabel::ApplyColours() {
  QPalette p = palette();
  p.setColor(QPalette::WindowText, fore_);
  p.setColor(QPalette::Window, back_);
  setPalette(p);
}

void CLabel::ApplyFont(const QFont& description) {
  description_ = description;
  Recreate();
}

void CLabel::SetItalic(bool on) {
  description_.setItalic(on);
  Recreate();
}

void CLabel::SetTypeface(const QString& name) {
  description_.setFamily(name);
  Recreate();
}

void CLabel::SetCharHeight(int n) {
  if (n > 0) description_.setPixelSize(n);
  Recreate();
}

void CLabel::EnableClick(bool on) { clickEnabled_ = on; }

void CLabel::SetPointerCursor(std::optional<QCursor> cursor) {
  pointer_ = std::move(cursor);
  if (pointer_) {
    setCursor(*pointer_);
  } else {
    unsetCursor();
  }
}

void CLabel::ShowText(const QString& text) {
  lastText_ = text;
  setText(text);
  repaint();
}

void CLabel::ShowText(int stringId) { ShowText(Tr(stringId)); }

void CLabel::SetForeColour(const QColor& colour) {
  fore_ = colour;
  ApplyColours();
  repaint();
}

bool IsOpenableAddress(const QString& text) {
  const QUrl url(text, QUrl::StrictMode);
  if (!url.isValid()) return false;
  const QString scheme = url.scheme().toLower();
  if (scheme == "mailto") return !url.path().isEmpty();
  return (scheme == "http" || scheme == "https") && !url.host().isEmpty();
}

void CLabel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    // Only addresses go to the desktop: other label texts (an update offer, a status) would
    // otherwise be handed to whatever program claims them. A failed open is not reported.
    if (IsOpenableAddress(text())) QDesktopServices::openUrl(QUrl(text()));
    if (clickEnabled_) emit clicked();
  }
  QLabel::mousePressEvent(event);
}

}  // namespace tw
