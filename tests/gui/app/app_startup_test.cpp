// The start-up loop: Enter re-creates the dialog with its settings, a language change reloads the
// English library, Escape ends the program.
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include "app/app_ids.h"
#include "app/tagwright_app.h"
#include "tests/gui/app/app_fixture.h"

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
  std::vector<QString> titles;
  std::vector<int> commands = {IDM_GERMAN, IDM_ENGLISH, -1};
  size_t pass = 0;
  app.onDialog = [&](CTagwrightDlg& d) {
    d.quietMessages = true;
    QTimer::singleShot(30, &d, [&, pcmd = commands[pass++], dp = &d] {
      titles.push_back(dp->c.closeButton->text());
      if (pcmd > 0) dp->OnSysCommand(pcmd); else dp->reject();
    });
  };
  app.Run();
  ASSERT_EQ(titles.size(), 3u);
  EXPECT_EQ(titles[0], "Close");
  EXPECT_EQ(titles[1], "Schliessen");
  EXPECT_EQ(titles[2], "Close");
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

TEST_F(Startup, ManualIsTheFirstPdfAndNothingWithoutOne) {
  EXPECT_TRUE(CTagwrightApp::OpenManual(nullptr, tmp.path(), true).isEmpty());
}

}  // namespace
}  // namespace tw::test
