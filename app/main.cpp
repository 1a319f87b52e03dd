// Program entry of the desktop application: "tagwright" runs the start-up loop against the stored
// interface; "tagwright --simulate" runs it against a simulated reader fed with new tags.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
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
#include "tw_version.h"

namespace {

const char kUsage[] =
    "Usage: tagwright [options]\n"
    "The desktop program: writes low-frequency RFID transponders one after another through a QZ\n"
    "reader/writer, reads them back and keeps a protocol of every tag. It opens the interface\n"
    "chosen last; when no reader answers there, the interface dialog asks for one.\n"
    "\n"
    "Options:\n"
    "  --simulate   work on a simulated reader (tagwright-sim) that puts a new tag of the chosen\n"
    "               type into its field every 4 s; nothing is sent to real devices\n"
    "  --help       this text\n"
    "  --version    the program's version\n"
    "Qt's own options (-platform, -style, ...) are accepted as well.\n"
    "\n"
    "F1 opens the manual. The job, the interface and the language are kept per user in\n"
    "$XDG_CONFIG_HOME/Velkor Applikationen/Tagwright.conf, shared with tagwright-cli.\n";

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
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--simulate") == 0) simulate = true;
    // Answered before any window exists, so that they work without a display.
    if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("tagwright %s\n", TW_PRODUCT_VERSION);
      return 0;
    }
  }
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
