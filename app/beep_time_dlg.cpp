#include "app/beep_time_dlg.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/app_text.h"
#include "app/app_ids.h"

namespace tw {

CBeepTimeDlg::CBeepTimeDlg(ISettingsStore& store, QWidget* parent) : QDialog(parent), store_(store) {
  const TimingSettings t = LoadTimingSettings(store);
  beepTime = t.beepTime;
  cycleTime = t.cycleTime;

  setWindowTitle(Tr(IDS_DLG_TIMING));
  setObjectName("CBeepTimeDlg");
  auto* grid = new QGridLayout;
  beepEdit_ = new QLineEdit(QString::number(beepTime));
  beepEdit_->setObjectName("edit1002");
  cycleEdit_ = new QLineEdit(QString::number(cycleTime));
  cycleEdit_->setObjectName("edit1003");
  for (QLineEdit* e : {beepEdit_, cycleEdit_}) {
    e->setMaxLength(10);
    e->setAlignment(Qt::AlignRight);
    e->setFixedWidth(90);
  }
  grid->addWidget(new QLabel(Tr(IDS_LBL_BEEP)), 0, 0);
  grid->addWidget(beepEdit_, 0, 1);
  grid->addWidget(new QLabel(Tr(IDS_LBL_MS)), 0, 2);
  auto* hint = new QLabel(Tr(IDS_LBL_BEEP_HINT));
  hint->setEnabled(false);
  grid->addWidget(hint, 1, 1, 1, 2);
  grid->addWidget(new QLabel(Tr(IDS_LBL_CYCLE)), 2, 0);
  grid->addWidget(cycleEdit_, 2, 1);
  grid->addWidget(new QLabel(Tr(IDS_LBL_MS)), 2, 2);
  grid->setColumnStretch(3, 1);

  auto* buttons = new QDialogButtonBox;
  buttons->addButton(Tr(IDS_BTN_OK), QDialogButtonBox::AcceptRole)->setDefault(true);
  buttons->addButton(Tr(IDS_BTN_CANCEL), QDialogButtonBox::RejectRole);
  connect(buttons, &QDialogButtonBox::accepted, this, &CBeepTimeDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CBeepTimeDlg::reject);
  auto* box = new QVBoxLayout(this);
  box->addLayout(grid);
  box->addSpacing(8);
  box->addWidget(buttons);
  setMinimumWidth(320);
}

bool CBeepTimeDlg::CheckField(QLineEdit* edit, unsigned min, unsigned max, unsigned& value) {
  const int id = CheckTimingField(ToCp1252(edit->text()), min, max, value);
  if (id == 0) return true;
  lastMessage_ = id == IDS_RANGE_MESSAGE ? FromCp1252(FormatRangeMessage(min, max)) : Tr(id);
  if (!quietMessages) QMessageBox::warning(this, windowTitle(), lastMessage_);
  edit->setFocus();
  edit->selectAll();
  return false;
}

bool CBeepTimeDlg::LoadControls() {
  unsigned b = 0, c = 0;
  if (!CheckField(beepEdit_, kBeepTimeMin, kBeepTimeMax, b)) return false;
  if (!CheckField(cycleEdit_, kCycleTimeMin, kCycleTimeMax, c)) return false;
  beepTime = b;
  cycleTime = c;
  return true;
}

void CBeepTimeDlg::accept() {
  if (!LoadControls()) return;
  TimingSettings t;
  t.beepTime = beepTime;
  t.cycleTime = cycleTime;
  SaveTimingSettings(store_, t);
  QDialog::accept();
}

}  // namespace tw
