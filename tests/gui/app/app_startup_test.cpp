// The start-up loop: Enter re-creates the dialog with its settings, a language change reloads the
// English library, Escape ends the program.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "app/app_ids.h"
#include "app/tagwright_app.h"
#include "platform/install_dirs.h"
#include "tests/gui/app/app_fixture.h"

#include <fstream>

namespace tw::test {
namespace {

using Startup = AppFixture;

QString BinDir() { return QStringLiteral(TW_BIN_DIR); }

TEST_F(Startup, EnterRecreatesTheDialogWithSettingsKept) {
  SetInterfaceChooser(chooser.Make());
  CTagwrightApp app(store, BinDir());
  int dialogs = 0;
  std::vector<int> codes;
  QString secondValue;
  app.onDialog = [&](CTagwrightDlg& d) {
    d.quietMessages = true;
    ++dialogs;
    QTimer::singleShot(50, &d, [&d, &dialogs, &secondValue] {
      if (dialogs == 1) {
        d.c.value->setText("4242");
        QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
        QCoreApplication::sendEvent(&d, &enter);
      } else {
        secondValue = d.c.value->text();
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&d, &esc);
      }
    });
  };
  app.onDialogEnded = [&](int code) { codes.push_back(code); };
  app.Run();
  EXPECT_EQ(dialogs, 2);
  EXPECT_EQ(codes, (std::vector<int>{kEndRecreate, kEndProgram}));
  EXPECT_EQ(secondValue, "4242");
  EXPECT_EQ(store.GetProfileString("Settings", "Wert", ""), "4242");
}

TEST_F(Startup, LanguageSwitchesLoadAndFreeTheEnglishLibrary) {
  SetInterfaceChooser(chooser.Make());
  store.WriteProfileInt("Settings", "Sprache", 1);
  CTagwrightApp app(store, BinDir());
  std::vector<QString> titles, yes;
  std::vector<int> commands = {IDM_GERMAN, IDM_ENGLISH, -1};
  size_t pass = 0;
  app.onDialog = [&](CTagwrightDlg& d) {
    d.quietMessages = true;
    QTimer::singleShot(30, &d, [&, pcmd = commands[pass++], dp = &d] {
      titles.push_back(dp->c.closeButton->text());
      // Qt's own texts (standard buttons) follow the language as well.
      QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No, dp);
      yes.push_back(box.button(QMessageBox::Yes)->text() + "/" + box.button(QMessageBox::No)->text());
      if (pcmd > 0) dp->OnSysCommand(pcmd); else dp->reject();
    });
  };
  app.Run();
  ASSERT_EQ(titles.size(), 3u);
  EXPECT_EQ(titles[0], "Close");
  EXPECT_EQ(titles[1], "Schliessen");
  EXPECT_EQ(titles[2], "Close");
  EXPECT_EQ(yes, (std::vector<QString>{"&Yes/&No", "&Ja/&Nein", "&Yes/&No"}));
  EXPECT_EQ(app.EnglishLoads(), 2);
  EXPECT_EQ(store.GetProfileInt("Settings", "Sprache", -9), 1);
  SetLanguage(Language::German);
}

TEST_F(Startup, MissingEnglishLibraryKeepsGermanAndTheStoredValue) {
  store.WriteProfileInt("Settings", "Sprache", 1);
  CTagwrightApp app(store, tmp.path());  // no library there
  app.ChooseLanguage();
  EXPECT_FALSE(app.EnglishActive());
  EXPECT_EQ(CurrentLanguage(), Language::German);
  EXPECT_EQ(store.GetProfileInt("Settings", "Sprache", -9), 1);
  // The menu follows the stored value: only "Deutsch" is offered.
  SetInterfaceChooser(chooser.Make());
  MakeDialog();
  std::vector<int> cmds;
  for (QAction* a : dlg->SystemMenu()->actions()) cmds.push_back(a->data().toInt());
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), IDM_GERMAN), 1);
  EXPECT_EQ(std::count(cmds.begin(), cmds.end(), IDM_ENGLISH), 0);
  EXPECT_EQ(dlg->SystemMenu()->actions().front()->text(), "Einstellungen");
}

// An installed tree keeps the English library in lib/tagwright and the manual with the
// documentation, beside the program's bin folder.
TEST_F(Startup, InstalledProgramFindsItsPrivateFilesBesideBin) {
  const QString root = tmp.path() + "/usr";
  ASSERT_TRUE(QDir().mkpath(root + "/bin") && QDir().mkpath(root + "/lib/tagwright") &&
              QDir().mkpath(root + "/share/doc/tagwright"));
  ASSERT_TRUE(QFile::copy(BinDir() + "/" + CTagwrightApp::EnglishLibraryName(),
                          root + "/lib/tagwright/" + CTagwrightApp::EnglishLibraryName()));
  store.WriteProfileInt("Settings", "Sprache", 1);
  CTagwrightApp app(store, root + "/bin");
  app.ChooseLanguage();
  EXPECT_TRUE(app.EnglishActive());
  SetLanguage(Language::German);
  EXPECT_EQ(QDir(QString::fromStdString(DocDir((root + "/bin").toStdString()))).canonicalPath(),
            QDir(root + "/share/doc/tagwright").canonicalPath());
  EXPECT_EQ(DocDir(BinDir().toStdString()), "");  // a build folder has none
}

TEST_F(Startup, ManualIsTheFirstPdfAndNothingWithoutOne) {
  EXPECT_TRUE(CTagwrightApp::OpenManual(nullptr, tmp.path(), true).isEmpty());
}

// "tagwright --simulate" runs the simulator as its child; killed outright, the program must not
// leave it behind.
TEST(SimulateChild, EndsWithTheProgramEvenWhenItIsKilled) {
  QTemporaryDir home;
  ASSERT_TRUE(home.isValid());
  const std::string cfg = home.path().toStdString() + "/Velkor Applikationen";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(cfg)));
  std::ofstream(cfg + "/Tagwright.conf") << "[Version]\nUpdate=0\n";
  // Everything the child needs is prepared before the fork: it only executes the program.
  const std::string bin = std::string(TW_BIN_DIR) + "/tagwright";
  std::string xdg = "XDG_CONFIG_HOME=" + home.path().toStdString();
  std::string qpa = "QT_QPA_PLATFORM=offscreen";
  char* argv[] = {const_cast<char*>("tagwright"), const_cast<char*>("--simulate"), nullptr};
  char* envp[] = {xdg.data(), qpa.data(), nullptr};
  const pid_t app = fork();
  ASSERT_GE(app, 0);
  if (app == 0) {
    execve(bin.c_str(), argv, envp);
    _exit(127);
  }
  auto childOf = [](pid_t parent) {
    std::ifstream f("/proc/" + std::to_string(parent) + "/task/" + std::to_string(parent) + "/children");
    pid_t c = 0;
    return (f >> c) ? c : 0;
  };
  pid_t sim = 0;
  for (int i = 0; i < 200 && !sim; ++i) {
    QThread::msleep(50);
    sim = childOf(app);
  }
  kill(app, SIGKILL);
  waitpid(app, nullptr, 0);
  ASSERT_NE(sim, 0) << "the simulator was not started";
  // Gone, or a zombie waiting for whoever adopted it.
  auto alive = [sim] {
    std::ifstream stat("/proc/" + std::to_string(sim) + "/stat");
    std::string pid, comm, state;
    return static_cast<bool>(stat >> pid >> comm >> state) && state != "Z";
  };
  for (int i = 0; i < 100 && alive(); ++i) QThread::msleep(50);
  EXPECT_FALSE(alive());
  if (alive()) kill(sim, SIGKILL);
}

}  // namespace
}  // namespace tw::test
