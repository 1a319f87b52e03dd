// The address search dialog: lists every device that answers the LAN discovery, marks those
// that are not readers of the maker, opens the LAN configuration for one and hands a chosen
// reader back to the interface dialog.
#pragma once
#include <QDialog>
#include <functional>
#include <string>
#include <vector>

#include "app/port_settings.h"

class QListWidget;
class QPushButton;

namespace tw {

class CIPAddrSuche : public QDialog {
 public:
  explicit CIPAddrSuche(IPortBackend& backend, QWidget* parent = nullptr);

  // Searches before the window shows; Cancel on the "nothing found" question ends it at once.
  int exec() override;

  // Retry/Cancel question when nothing was found; true for Retry.
  std::function<bool()> askRetry;
  // Runs the LAN configuration for a device; true when it applied a change.
  std::function<bool(const std::string& device)> runLanConfig;
  std::function<void(int ms)> waitMs;

  // Fills the list from both searches; false when the operator gave up on an empty result.
  bool FillAddressList();
  void OnChangeAddress();
  void OnClose();

  // The reader chosen with "Schliessen", or empty.
  const std::string& ResultAddress() const { return result_; }
  const std::vector<FoundDevice>& Found() const { return found_; }
  QListWidget* deviceList() const { return list_; }
  QPushButton* changeButton() const { return change_; }
  QPushButton* closeButton() const { return close_; }

 private:
  int SelectedRow() const;
  IPortBackend& backend_;
  std::vector<FoundDevice> found_;
  std::string result_;
  QListWidget* list_ = nullptr;
  QPushButton* change_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace tw
