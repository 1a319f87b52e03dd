// Program entry of the desktop application: "tagwright" runs the start-up loop against the stored
// interface; "tagwright --simulate" runs it against a simulated reader fed with new tags.
#include <QApplication>
#include <QMessageBox>
#include <cstring>

#include "app/about_dlg.h"
#include "app/app_ids.h"
#include "app/app_text.h"
#include "app/port_dlg.h"
#include "app/sim_feeder.h"
#include "app/tagwright_app.h"
#include "app/tagwright_dlg.h"
#include "platform/ui_hooks.h"
#include "shell/settings_store.h"

namespace {

QWidget* gDisabled = nullptr;

void PumpEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void* DisableWindow(bool* wasEnabled) {
  QWidget* w = QApplication::activeWindow();
  if (wasEnabled) *wasEnabled = w && w->isEnabled();
  if (w) w->setEnabled(false);
  gDisabled = w;
  return w;
}

void RestoreWindow(void* token, bool wasEnabled) {
  auto* w = static_cast<QWidget*>(token);
  if (w && w == gDisabled) {
    w->setEnabled(wasEnabled);
    w->activateWindow();
  }
}

void BeginWait() { QApplication::setOverrideCursor(Qt::WaitCursor); }
void EndWait() { QApplication::restoreOverrideCursor(); }

}  // namespace

int main(int argc, char** argv) {
  bool simulate = false;
  for (int i = 1; i < argc; ++i)
    if (std::strcmp(argv[i], "--simulate") == 0) simulate = true;
  QApplication qapp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tagwright"));
  QApplication::setStyle(QStringLiteral("Fusion"));

  tw::UiHooks hooks;
  hooks.pumpEvents = PumpEvents;
  hooks.disableWindow = DisableWindow;
  hooks.restoreWindow = RestoreWindow;
  hooks.beginWaitCursor = BeginWait;
  hooks.endWaitCursor = EndWait;
  tw::SetUiHooks(hooks);
  tw::SetAboutHandler(tw::OpenAboutDialog);

  const QString dir = QCoreApplication::applicationDirPath();
  tw::CTagwrightApp app(tw::UserSettings(), dir);
  tw::SetInterfaceChooser(tw::PortDlgInterfaceChooser);
  tw::SimFeeder feeder;
  if (simulate) {
    if (!feeder.Start(dir)) {
      QMessageBox::critical(nullptr, QStringLiteral("Tagwright"),
                            QStringLiteral("tagwright-sim could not be started from ") + dir);
      return 1;
    }
    const std::string pty = feeder.PtyPath();
    tw::SetInterfaceChooser([pty](QWidget* parent, tw::ISettingsStore& store, bool show, std::string& name) {
      if (show) return tw::PortDlgInterfaceChooser(parent, store, show, name);
      name = pty + ":1";
      return true;
    });
    app.onDialog = [&feeder](tw::CTagwrightDlg& dlg) {
      dlg.AddStatusText(tw::Tr(tw::IDS_SIM_HINT));
      feeder.StartFeeding([&dlg] { return dlg.Job().transponderType; }, 4000);
    };
    app.onDialogEnded = [&feeder](int) { feeder.StopFeeding(); };
  }
  // The update check starts with each main dialog of the real program only, so that tests and
  // tools never reach for the maker's server.
  app.onDialog = [hook = app.onDialog](tw::CTagwrightDlg& dlg) {
    new tw::CUpdateWatch(&dlg, tw::UserSettings());
    if (hook) hook(dlg);
  };
  app.Run();
  return 0;
}
