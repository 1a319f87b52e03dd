// CLabel: a static text with its own font, colour, background, pointer cursor and click action.
// A click opens the label's text with the desktop when it is a web or mail address, and is
// reported to the owner (clicked) while clicks are enabled. The about dialog's links use it.
#pragma once
#include <QColor>
#include <QCursor>
#include <QFont>
#include <QLabel>
#include <optional>

namespace tw {

class CLabel : public QLabel {
  Q_OBJECT
 public:
  explicit CLabel(QWidget* parent = nullptr);

  // Each of these replaces one part of the font description, recreates the font and repaints.
  void ApplyFont(const QFont& description);
  void SetItalic(bool on);
  void SetTypeface(const QString& name);
  // Character height in pixels (the height of the letters, not of the line).
  void SetCharHeight(int n);
  void EnableClick(bool on);
  // Cursor shown over the label; nullopt gives the ordinary cursor.
  void SetPointerCursor(std::optional<QCursor> cursor);
  void ShowText(const QString& text);
  void ShowText(int stringId);
  void SetForeColour(const QColor& colour);

  bool ClickEnabled() const { return clickEnabled_; }
  bool HasPointerCursor() const { return pointer_.has_value(); }
  const QColor& ForeColour() const { return fore_; }
  const QFont& FontDescription() const { return description_; }
  const QString& LastText() const { return lastText_; }

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Recreate();
  void ApplyColours();

  QColor fore_;
  QColor back_;
  QFont description_;
  bool clickEnabled_ = true;
  std::optional<QCursor> pointer_;
  QString lastText_;
};

// Whether a label's text is something the desktop should open: a web or mail address.
bool IsOpenableAddress(const QString& text);

}  // namespace tw
