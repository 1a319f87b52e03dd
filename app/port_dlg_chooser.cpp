// The interface dialog as the main dialog's interface chooser.
#include "app/port_dlg.h"
#include "app/tagwright_dlg.h"

namespace tw {

bool PortDlgInterfaceChooser(QWidget* parent, ISettingsStore& store, bool show, std::string& name) {
  if (!show) {
    // The dialog object's construction rules hold in the silent pass too: a stale choice is
    // repaired, and a kernel device name that another device has taken over is not used blindly
    // but shown to the operator.
    InterfaceLists lists;
    show = LoadAndRepairPortSettings(store, SdkPortBackend(), lists).anotherDevice;
  }
  if (show) {
    CPortDlg dlg(store, SdkPortBackend(), parent);
    if (dlg.exec() != QDialog::Accepted) return false;
  }
  // The stored choice becomes the SDK name the same way as without the dialog.
  return DefaultInterfaceChooser(parent, store, false, name);
}

}  // namespace tw
