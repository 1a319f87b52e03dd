// The LAN configuration dialog: shows an Ethernet reader's network settings and changes them,
// either DHCP under a device name or a fixed address with subnet mask and gateway, plus the TCP
// data port; after a change it waits up to 25 s for the device at its new address.
#pragma once
#include <QDialog>
#include <functional>
#include <string>

#include "app/port_settings.h"

class QLineEdit;
class QProgressBar;
class QRadioButton;

namespace tw {

class CLanConfig : public QDialog {
 public:
  CLanConfig(IPortBackend& backend, std::string device, QWidget* parent = nullptr);

  std::function<void(const QString& text)> showMessage;
  std::function<void(int ms)> waitMs;

  static constexpr int kComeBackMs = 25000;

  void LoadLanSettings();
  void OnOK();
  void OnModeChanged();

  // The device's LAN name; after a successful change its new address.
  const std::string& Device() const { return device_; }
  int Mode() const { return mode_; }

  QRadioButton* dhcpRadio() const { return dhcp_; }
  QRadioButton* fixedRadio() const { return fixed_; }
  QLineEdit* dhcpNameEdit() const { return dhcpName_; }
  QLineEdit* dhcpPortEdit() const { return dhcpPort_; }
  QLineEdit* ipEdit() const { return ip_; }
  QLineEdit* fixedPortEdit() const { return fixedPort_; }
  QLineEdit* maskEdit() const { return mask_; }
  QLineEdit* gatewayEdit() const { return gateway_; }
  QProgressBar* progressBar() const { return progress_; }

 private:
  void EnableModeFields();
  void SetControlsEnabled(bool on);
  bool ReadPort(QLineEdit* edit, int* port);

  IPortBackend& backend_;
  std::string device_;
  int mode_ = 0;
  int port_ = 10001;
  QRadioButton* dhcp_ = nullptr;
  QRadioButton* fixed_ = nullptr;
  QLineEdit* dhcpName_ = nullptr;
  QLineEdit* dhcpPort_ = nullptr;
  QLineEdit* ip_ = nullptr;
  QLineEdit* fixedPort_ = nullptr;
  QLineEdit* mask_ = nullptr;
  QLineEdit* gateway_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QWidget* buttons_ = nullptr;
};

}  // namespace tw
