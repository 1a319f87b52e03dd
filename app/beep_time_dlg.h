// The timing dialog "Einstellungen": length of the success beep and period of the cyclic jobs.
// Constructing it fills in missing stored values; OK checks both fields and stores them.
#pragma once
#include <QDialog>

#include "shell/timing_settings.h"

class QLineEdit;

namespace tw {

class CBeepTimeDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CBeepTimeDlg(ISettingsStore& store, QWidget* parent = nullptr);

  unsigned beepTime = kBeepTimeDefault;
  unsigned cycleTime = kCycleTimeDefault;

  QLineEdit* BeepEdit() const { return beepEdit_; }
  QLineEdit* CycleEdit() const { return cycleEdit_; }
  // Reads and checks the two edits into the fields; on a failure shows the message (unless
  // quiet), puts the focus on the edit and returns false.
  bool LoadControls();
  // Text of the last check message (tests).
  const QString& LastMessage() const { return lastMessage_; }
  // Message boxes are skipped when set (tests read LastMessage).
  bool quietMessages = false;

 public slots:
  void accept() override;

 private:
  bool CheckField(QLineEdit* edit, unsigned min, unsigned max, unsigned& value);

  ISettingsStore& store_;
  QLineEdit* beepEdit_ = nullptr;
  QLineEdit* cycleEdit_ = nullptr;
  QString lastMessage_;
};

}  // namespace tw
