#include "app/lan_config_dlg.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QValidator>
#include <QVBoxLayout>

#include "app/port_dlg.h"
#include "sdk/lan_config.h"
#include "platform/tick.h"
#include "platform/ui_hooks.h"
#include "shell/string_table.h"

namespace tw {

using portui::FromQt;
using portui::Text;
using portui::ToQt;

namespace {

// Stands in for the address control: what can still become four numbers 0-255 may be typed;
// only four whole numbers (or nothing: unchanged) are acceptable, the texts the SDK takes.
class AddressValidator : public QValidator {
 public:
  using QValidator::QValidator;
  State validate(QString& input, int&) const override {
    const std::string text = FromQt(input);
    if (text.empty() || IsDottedQuad(text)) return Acceptable;
    static const QRegularExpression partial("^\\d{0,3}(\\.\\d{0,3}){0,3}$");
    if (!partial.match(input).hasMatch()) return Invalid;
    for (const QString& part : input.split('.'))
      if (!part.isEmpty() && part.toInt() > 255) return Invalid;
    return Intermediate;
  }
};

QLineEdit* AddressEdit(QWidget* parent, const char* id) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(id);
  e->setValidator(new AddressValidator(e));
  return e;
}

QLineEdit* PortEdit(QWidget* parent, const char* id) {
  auto* e = new QLineEdit(parent);
  e->setObjectName(id);
  e->setValidator(new QIntValidator(0, 65535, e));
  return e;
}

// Blank as the address control sees it: no digit typed.
bool IsBlankAddress(const QString& text) {
  for (QChar c : text)
    if (c.isDigit()) return false;
  return true;
}

}  // namespace

CLanConfig::CLanConfig(IPortBackend& backend, std::string device, QWidget* parent)
    : QDialog(parent), backend_(backend), device_(std::move(device)) {
  setWindowTitle(Text(15900));
  auto* top = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  dhcp_ = new QRadioButton(Text(15901), this);
  dhcp_->setObjectName("1115");
  fixed_ = new QRadioButton(Text(15902), this);
  fixed_->setObjectName("1116");
  dhcpName_ = new QLineEdit(this);
  dhcpName_->setObjectName("1113");
  dhcpName_->setMaxLength(kDhcpNameMax);
  dhcpPort_ = PortEdit(this, "1118");
  ip_ = AddressEdit(this, "1110");
  fixedPort_ = PortEdit(this, "1112");
  mask_ = AddressEdit(this, "1111");
  gateway_ = AddressEdit(this, "1114");

  grid->addWidget(dhcp_, 0, 0, 1, 4);
  grid->addWidget(new QLabel(Text(15903), this), 1, 0);
  grid->addWidget(dhcpName_, 1, 1);
  grid->addWidget(new QLabel(Text(15904), this), 1, 2);
  grid->addWidget(dhcpPort_, 1, 3);
  grid->addWidget(fixed_, 2, 0, 1, 4);
  grid->addWidget(new QLabel(Text(15905), this), 3, 0);
  grid->addWidget(ip_, 3, 1);
  grid->addWidget(new QLabel(Text(15904), this), 3, 2);
  grid->addWidget(fixedPort_, 3, 3);
  grid->addWidget(new QLabel(Text(15906), this), 4, 0);
  grid->addWidget(mask_, 4, 1);
  grid->addWidget(new QLabel(Text(15907), this), 5, 0);
  grid->addWidget(gateway_, 5, 1);
  top->addLayout(grid);

  progress_ = new QProgressBar(this);
  progress_->setObjectName("1117");
  progress_->setTextVisible(false);
  progress_->hide();
  top->addWidget(progress_);

  auto* box = new QDialogButtonBox(this);
  box->addButton(Text(16613), QDialogButtonBox::AcceptRole)->setDefault(true);
  box->addButton(Text(16614), QDialogButtonBox::RejectRole);
  buttons_ = box;
  top->addWidget(box);

  showMessage = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };
  waitMs = [](int ms) {
    const uint32_t start = TickCount();
    while (TicksSince(start) < static_cast<uint32_t>(ms)) {
      QApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
      SleepMs(5);
    }
  };

  connect(box, &QDialogButtonBox::accepted, this, [this]() { OnOK(); });
  connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(dhcp_, &QRadioButton::clicked, this, [this]() { OnModeChanged(); });
  connect(fixed_, &QRadioButton::clicked, this, [this]() { OnModeChanged(); });

  LoadLanSettings();
  setMinimumSize(sizeHint());
}

void CLanConfig::LoadLanSettings() {
  IPortBackend::LanInfo info;
  if (!backend_.GetLanDeviceInfo(device_, info)) info = {};
  const LanFields f = ParseLanInfo(info);
  mode_ = f.mode;
  port_ = f.port;
  ip_->setText(ToQt(f.ip));
  mask_->setText(ToQt(info.netMask));
  gateway_->setText(ToQt(info.gateway));
  dhcpName_->setText(ToQt(f.dhcpName.substr(0, kDhcpNameMax)));
  dhcpPort_->setText(QString::number(port_));
  fixedPort_->setText(QString::number(port_));
  (mode_ == 0 ? dhcp_ : fixed_)->setChecked(true);
  EnableModeFields();
}

void CLanConfig::EnableModeFields() {
  const bool dhcp = mode_ == 0;
  dhcpName_->setEnabled(dhcp);
  dhcpPort_->setEnabled(dhcp);
  ip_->setEnabled(!dhcp);
  fixedPort_->setEnabled(!dhcp);
}

void CLanConfig::OnModeChanged() {
  // The port typed in one mode carries over to the other.
  QLineEdit* from = mode_ == 0 ? dhcpPort_ : fixedPort_;
  mode_ = fixed_->isChecked() ? 1 : 0;
  QLineEdit* to = mode_ == 0 ? dhcpPort_ : fixedPort_;
  if (from != to) to->setText(from->text());
  EnableModeFields();
}

void CLanConfig::SetControlsEnabled(bool on) {
  for (QWidget* w : {static_cast<QWidget*>(dhcp_), static_cast<QWidget*>(fixed_),
                     static_cast<QWidget*>(mask_), static_cast<QWidget*>(gateway_), buttons_})
    w->setEnabled(on);
  if (on)
    EnableModeFields();
  else
    for (QWidget* w : {dhcpName_, dhcpPort_, ip_, fixedPort_}) w->setEnabled(false);
}

bool CLanConfig::ReadPort(QLineEdit* edit, int* port) {
  bool ok = false;
  const int v = edit->text().trimmed().toInt(&ok);
  if (ok && v >= 1 && v <= 65535) {
    *port = v;
    return true;
  }
  showMessage(ToQt(FormatString(16615, 1, 65535)));
  edit->setFocus();
  return false;
}

void CLanConfig::OnOK() {
  const std::string name = FromQt(dhcpName_->text());
  if (name.size() > static_cast<size_t>(kDhcpNameMax)) {
    showMessage(Text(15908));
    dhcpName_->setFocus();
    return;
  }
  int port = 0;
  if (!ReadPort(mode_ == 0 ? dhcpPort_ : fixedPort_, &port)) return;
  const std::string ip = FromQt(ip_->text().trimmed());
  if (mode_ == 1 && (IsBlankAddress(ip_->text()) || !IsUsableFixedAddress(ip))) {
    showMessage(Text(10128));
    ip_->setFocus();
    return;
  }
  port_ = port;
  const std::string newAddress = NewLanAddress(mode_, ip, name, port);
  const std::string mask = FromQt(mask_->text().trimmed());
  const std::string gateway = FromQt(gateway_->text().trimmed());
  // Empty mask or gateway: unchanged. Anything else must be a whole address before anything is sent.
  for (QLineEdit* e : {mask_, gateway_}) {
    const std::string text = FromQt(e->text().trimmed());
    if (!text.empty() && !IsDottedQuad(text)) {
      showMessage(Text(10128));
      e->setFocus();
      return;
    }
  }

  progress_->setRange(0, kComeBackMs);
  progress_->setValue(0);
  progress_->show();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  SetControlsEnabled(false);

  if (backend_.SetLanDeviceConfig(device_, newAddress, mask, gateway) != 0) {
    QApplication::restoreOverrideCursor();
    showMessage(Text(10132));
    LoadLanSettings();
    progress_->hide();
    SetControlsEnabled(true);
    return;
  }
  device_ = newAddress;
  const uint32_t start = TickCount();
  for (;;) {
    const uint32_t elapsed = TicksSince(start);
    progress_->setValue(static_cast<int>(std::min<uint32_t>(elapsed, kComeBackMs)));
    if (backend_.PingLanDevice(newAddress) || elapsed >= static_cast<uint32_t>(kComeBackMs)) break;
    waitMs(100);
  }
  QApplication::restoreOverrideCursor();
  progress_->hide();
  SetControlsEnabled(true);
  accept();
}

}  // namespace tw
