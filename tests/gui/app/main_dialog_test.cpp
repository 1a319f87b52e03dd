// The main dialog against the simulated reader: single writes, a write cycle over several tags,
// the type layout, the connection checks and the status box.
#include <QFileInfo>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

#include "app/app_ids.h"
#include "job/reservation_store.h"
#include "job/type_layout.h"
#include "tests/gui/app/app_fixture.h"

namespace tw::test {
namespace {

int FileLines(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return 0;
  return f.readAll().count('\n');
}

using MainDialog = AppFixture;

TEST_F(MainDialog, SingleWriteShowsSuccessCountsUpAndLogs) {
  StartConnected();
  ASSERT_GT(dlg->PortHandle(), 0);
  EXPECT_TRUE(dlg->windowTitle().endsWith(">"));
  EXPECT_FALSE(dlg->windowTitle().endsWith("<>"));
  // The caret stands at the end of the value: typing adds to it rather than replacing it.
  EXPECT_FALSE(dlg->c.value->hasSelectedText());
  EXPECT_EQ(dlg->c.value->cursorPosition(), dlg->c.value->text().size());
  ASSERT_TRUE(AddTag("4A000001"));
  dlg->c.writeSingle->click();
  EXPECT_TRUE(dlg->StatusText().contains("Wert <1000> erfolgreich geschrieben")) << dlg->StatusText().toStdString();
  EXPECT_EQ(dlg->LampText(), "DDG");
  EXPECT_EQ(dlg->c.value->text(), "1001");
  EXPECT_EQ(FileLines(WriteLog()), 1);
  EXPECT_TRUE(dlg->messages.empty());
}

TEST_F(MainDialog, SingleWriteWithoutTagReports230) {
  StartConnected();
  dlg->c.writeSingle->click();
  EXPECT_TRUE(dlg->StatusText().contains(Tr(230)));
  EXPECT_EQ(dlg->c.value->text(), "1000");
  EXPECT_EQ(FileLines(WriteLog()), 0);
}

TEST_F(MainDialog, WriteCycleOverThreeTagsStoppedByButton) {
  StartConnected();
  dlg->c.writeCyclic->click();
  ASSERT_TRUE(dlg->Engine().WriteCycleRunning());
  EXPECT_TRUE(dlg->LampPanelShown());
  EXPECT_EQ(dlg->width(), dlg->minimumWidth());
  // While the cycle runs the job controls are locked, the type combo and the value edit are not.
  EXPECT_FALSE(dlg->c.startBlock->isEnabled());
  EXPECT_FALSE(dlg->c.writeSingle->isEnabled());
  EXPECT_FALSE(dlg->c.loadConfig->isEnabled());
  EXPECT_TRUE(dlg->c.type->isEnabled());
  EXPECT_TRUE(dlg->c.closeButton->isEnabled());

  Pump(1200);  // ticks without a tag are quiet inside a cycle (only a single write reports 230)
  EXPECT_EQ(CountOf(dlg->StatusText(), Tr(230)), 0);
  for (int i = 1; i <= 3; ++i) {
    ASSERT_TRUE(AddTag("4A00000" + std::to_string(i)));
    ASSERT_TRUE(PumpUntil([&] { return CountOf(dlg->StatusText(), "erfolgreich geschrieben") == i; }, 5000))
        << dlg->StatusText().toStdString();
    EXPECT_EQ(dlg->LampText(), "DDG");
    RemoveTag();
    Pump(600);
  }
  EXPECT_EQ(CountOf(dlg->StatusText(), Tr(230)), 0);
  EXPECT_EQ(dlg->c.value->text(), "1003");
  EXPECT_EQ(FileLines(WriteLog()), 3);

  const int panelWidth = dlg->width();
  dlg->c.writeCyclic->click();
  EXPECT_FALSE(dlg->Engine().WriteCycleRunning());
  EXPECT_FALSE(dlg->LampPanelShown());
  EXPECT_EQ(dlg->width() + 220, panelWidth);
  EXPECT_TRUE(dlg->c.startBlock->isEnabled());
  EXPECT_TRUE(dlg->c.writeSingle->isEnabled());
}

TEST_F(MainDialog, ReaderGoneStopsTheCycleAndSaysSo) {
  StartConnected();
  dlg->c.writeCyclic->click();
  ASSERT_TRUE(dlg->Engine().WriteCycleRunning());
  Pump(600);  // no tag: the reader answers, the cycle goes on without a word
  EXPECT_TRUE(dlg->Engine().WriteCycleRunning());
  EXPECT_TRUE(dlg->messages.empty());

  ASSERT_EQ(sim.Control("hangup").rfind("ok", 0), 0u);
  ASSERT_TRUE(PumpUntil([&] { return !dlg->Engine().WriteCycleRunning(); }, 8000));
  ASSERT_EQ(dlg->messages.size(), 1u);
  EXPECT_EQ(dlg->messages[0], Tr(kMsgReaderGone));
  dlg->c.writeSingle->click();
  ASSERT_EQ(dlg->messages.size(), 2u);
  EXPECT_EQ(dlg->messages[1], Tr(kMsgReaderGone));
}

TEST_F(MainDialog, TypeChangeDuringCycleReleasesControlsAndCycleGoesOn) {
  StartConnected();
  dlg->c.writeCyclic->click();
  ASSERT_TRUE(dlg->LampPanelShown());
  dlg->c.type->setCurrentIndex(dlg->c.type->findData(static_cast<int>(kTypeHitag2)));
  dlg->OnTypeOrLayoutChanged();
  EXPECT_FALSE(dlg->LampPanelShown());
  EXPECT_TRUE(dlg->c.startBlock->isEnabled());
  EXPECT_TRUE(dlg->Engine().WriteCycleRunning());
  EXPECT_EQ(dlg->Job().transponderType, kTypeHitag2);
  // Never two cycles at once: the read cycle stays out of reach until the write cycle stops.
  EXPECT_TRUE(dlg->c.writeCyclic->isEnabled());
  EXPECT_FALSE(dlg->c.readCyclic->isEnabled());
  dlg->c.writeCyclic->click();
  EXPECT_TRUE(dlg->c.readCyclic->isEnabled());
}

TEST_F(MainDialog, TypeLayoutShowsExactlyTheTableControls) {
  MemorySettingsStore s;
  SetInterfaceChooser(chooser.Make());
  CTagwrightDlg d(s);
  d.quietMessages = true;
  d.Initialise();
  for (int i = 0; i < kTransponderTypeCount; ++i) {
    for (int pw = 0; pw < 2; ++pw) {
      for (int auth = 0; auth < 2; ++auth) {
        const int code = TransponderTypes()[i].code;
        SCOPED_TRACE(testing::Message() << "type " << code << " pw " << pw << " auth " << auth);
        d.c.type->setCurrentIndex(d.c.type->findData(code));
        d.c.passwordActive->setChecked(pw);
        d.c.authMode->setChecked(auth);
        d.OnTypeOrLayoutChanged();
        const TypeLayout l = ComputeTypeLayout(d.Job());
        EXPECT_EQ(!d.c.passwordActive->isHidden(), l.passwordActive);
        EXPECT_EQ(!d.c.readWithPassword->isHidden(), l.readWithPassword);
        EXPECT_EQ(!d.c.password->isHidden(), l.password);
        EXPECT_EQ(!d.c.passwordLabel->isHidden(), l.password);
        EXPECT_EQ(!d.c.tagPassword->isHidden(), l.tagPassword);
        EXPECT_EQ(!d.c.modulation->isHidden(), l.modulation);
        EXPECT_EQ(!d.c.authMode->isHidden(), l.authMode);
        EXPECT_EQ(!d.c.authKey->isHidden(), l.authKey);
        EXPECT_EQ(!d.c.keyLabel->isHidden(), l.authKey);
        EXPECT_EQ(!d.c.ranges[0]->isHidden(), l.em4450Ranges);
        EXPECT_EQ(!d.c.readAfterWrite->isHidden(), l.em4450Ranges);
        EXPECT_FALSE(d.c.lockUsedBlocks->isHidden());
        EXPECT_EQ(d.c.passwordLabel->text(), Tr(l.passwordLabelId));
        // The shared-position pairs never show both controls.
        EXPECT_FALSE(!d.c.password->isHidden() && !d.c.authKey->isHidden());
        EXPECT_FALSE(!d.c.passwordActive->isHidden() && !d.c.authMode->isHidden());
        EXPECT_FALSE(!d.c.readAfterWrite->isHidden() && !d.c.readWithPassword->isHidden());
      }
    }
  }
}

TEST_F(MainDialog, FirstStartTriesStoredChoiceSilentlyThenShowsTheChooser) {
  chooser.names = {"/nonexistent/tty:1"};
  SetInterfaceChooser(chooser.Make());
  store.WriteProfileString("Settings", "Wert", "1000");
  store.WriteProfileInt("Settings", "Startblock", 4);
  MakeDialog();
  ASSERT_EQ(chooser.shown.size(), 2u);
  EXPECT_FALSE(chooser.shown[0]);
  EXPECT_TRUE(chooser.shown[1]);
  ASSERT_EQ(dlg->messages.size(), 1u);  // the open failure, with its reason
  EXPECT_TRUE(dlg->messages[0].endsWith("\nno such device: /nonexistent/tty")) << dlg->messages[0].toStdString();
  EXPECT_TRUE(dlg->windowTitle().endsWith(" <>")) << dlg->windowTitle().toStdString();
  EXPECT_LE(dlg->PortHandle(), 0);
  // Without a reader the dialog works and a single write fails at the tag step.
  dlg->c.writeSingle->click();
  EXPECT_TRUE(dlg->StatusText().contains(Tr(230))) << dlg->StatusText().toStdString();
}

TEST_F(MainDialog, UnsuitableReaderGives231AndTheChooserAgain) {
  ASSERT_TRUE(sim.Start({"--version", "2411"}));
  chooser.names = {sim.PtyPath() + ":1"};
  SetInterfaceChooser(chooser.Make());
  MakeDialog();
  ASSERT_EQ(dlg->messages.size(), 1u);
  EXPECT_TRUE(dlg->messages[0].startsWith("Das gewählte Gerät <")) << dlg->messages[0].toStdString();
  EXPECT_TRUE(dlg->messages[0].contains("FW V1.01"));
  EXPECT_EQ(chooser.shown.size(), 2u);  // shown again after the refusal
  EXPECT_EQ(dlg->PortHandle(), 0);
}

TEST_F(MainDialog, LongVersionAnswerCountsAsNoReader) {
  ASSERT_TRUE(sim.Start({"--version-text", "ABCDEFGHIJ"}));
  chooser.names = {sim.PtyPath() + ":1"};
  SetInterfaceChooser(chooser.Make());
  MakeDialog();
  ASSERT_EQ(dlg->messages.size(), 1u);
  EXPECT_EQ(dlg->messages[0], Tr(IDS_NO_READER));
  EXPECT_EQ(dlg->PortHandle(), 0);
}

TEST_F(MainDialog, StatusBoxIsEmptiedBeyond1000Lines) {
  SetInterfaceChooser(chooser.Make());
  MakeDialog();
  for (int i = 0; i < 1001; ++i) dlg->AddStatusText(QString("line %1").arg(i));
  EXPECT_EQ(dlg->StatusLineCount(), 1001);  // 1000 lines do not yet empty the box
  dlg->AddStatusText("next");
  EXPECT_EQ(dlg->StatusLineCount(), 1);
  EXPECT_EQ(dlg->StatusText(), "next\n");
  // The caret stands at the end.
  EXPECT_EQ(dlg->c.status->textCursor().position(), dlg->StatusText().size());
  dlg->c.resetStatus->click();
  EXPECT_TRUE(dlg->StatusText().isEmpty());
}

TEST_F(MainDialog, LanguageMenuFollowsTheStoredValue) {
  SetInterfaceChooser(chooser.Make());
  for (int sprache : {0, 1, 2, -1}) {
    SCOPED_TRACE(sprache);
    store.WriteProfileInt("Settings", "Sprache", sprache);
    MakeDialog();
    std::vector<int> cmds;
    for (QAction* a : dlg->SystemMenu()->actions())
      if (!a->isSeparator()) cmds.push_back(a->data().toInt());
    const bool german = std::count(cmds.begin(), cmds.end(), IDM_GERMAN) == 1;
    const bool english = std::count(cmds.begin(), cmds.end(), IDM_ENGLISH) == 1;
    EXPECT_EQ(german, sprache != 0);
    EXPECT_EQ(english, sprache != 1);
    EXPECT_EQ(cmds.front(), IDM_SETTINGS);
    EXPECT_EQ(cmds.back(), IDM_ABOUTBOX);
  }
}

TEST_F(MainDialog, FailedSettingsExportSaysSo) {
  SetInterfaceChooser(chooser.Make());
  MakeDialog();
  QString target = tmp.path() + "/no/such/folder/job.QZLF_Set";
  dlg->fileDialog = [&](const QString&, const QString&, const QString&, const QString&, bool) { return target; };
  dlg->c.saveConfig->click();
  ASSERT_EQ(dlg->messages.size(), 1u);
  EXPECT_TRUE(dlg->messages[0].contains(target)) << dlg->messages[0].toStdString();
  target = tmp.path() + "/job.QZLF_Set";
  dlg->c.saveConfig->click();
  EXPECT_EQ(dlg->messages.size(), 1u);
  EXPECT_TRUE(QFileInfo::exists(target));
}

TEST_F(MainDialog, ProtocolFileChoiceIsStoredAtOnce) {
  SetInterfaceChooser(chooser.Make());
  MakeDialog();
  QString title;
  dlg->fileDialog = [&](const QString& t, const QString&, const QString& ext, const QString&, bool save) {
    title = t;
    EXPECT_EQ(ext, "txt");
    EXPECT_TRUE(save);
    return tmp.path() + "/a/very/long/folder/name/that/does/not/fit/into/the/field/Protokoll.txt";
  };
  dlg->c.writeLogBrowse->click();
  EXPECT_EQ(title, Tr(32844));
  EXPECT_EQ(store.GetProfileString("Protokoll", "LogFileNameSchreiben", ""),
            (tmp.path() + "/a/very/long/folder/name/that/does/not/fit/into/the/field/Protokoll.txt").toStdString());
  EXPECT_TRUE(dlg->c.writeLogName->text().contains("..."));
  EXPECT_TRUE(dlg->c.writeLogName->text().endsWith("Protokoll.txt"));
}

TEST_F(MainDialog, ImportBoxTakesLinesAndCancelForgetsTheFile) {
  StartConnected();
  const QString data = tmp.path() + "/data.txt";
  {
    QFile f(data);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("5000\r\n5007\r\n5009\r\n");
  }
  QString answer = data;
  dlg->fileDialog = [&](const QString& t, const QString&, const QString&, const QString&, bool save) {
    EXPECT_EQ(t, Tr(147));
    EXPECT_FALSE(save);
    return answer;
  };
  dlg->c.importData->click();
  EXPECT_FALSE(dlg->c.autoIncrement->isChecked());
  EXPECT_FALSE(dlg->c.importBrowse->isHidden());
  dlg->c.importBrowse->click();
  EXPECT_EQ(dlg->c.value->text(), "5000");
  EXPECT_EQ(dlg->c.importCounter->text(), "1 / 3");
  ASSERT_TRUE(AddTag("4A000009"));
  dlg->c.writeSingle->click();
  EXPECT_TRUE(dlg->StatusText().contains("Wert <5000> erfolgreich geschrieben")) << dlg->StatusText().toStdString();
  EXPECT_EQ(dlg->c.value->text(), "5007");
  EXPECT_EQ(dlg->c.importCounter->text(), "2 / 3");
  // Cancelling the file dialog forgets the chosen file.
  answer.clear();
  dlg->c.importBrowse->click();
  EXPECT_TRUE(dlg->Job().importFile.empty());
  EXPECT_TRUE(dlg->c.importFile->text().isEmpty());
  // "Auto inkrement" turns importing off again and hides the import controls.
  dlg->c.autoIncrement->click();
  EXPECT_FALSE(dlg->c.importData->isChecked());
  EXPECT_TRUE(dlg->c.importBrowse->isHidden());
}

}  // namespace
}  // namespace tw::test

namespace tw::test {
namespace {

// The desktop program beside another writer of the same stored job: a value the program sets is
// shown whole (the typing limit is for typing), a write stops before any traffic while another
// process runs the job, and closing writes back only what the operator changed here.
TEST_F(MainDialog, StoredJobSharedWithAnotherProgram) {
  FileSettingsStore file((tmp.path() + "/Tagwright.conf").toStdString());
  file.WriteProfileString("Settings", "Transpondertyp", "Hitag S");
  file.WriteProfileInt("Settings", "Startblock", 4);
  file.WriteProfileInt("Settings", "Byteanzahl", 4);  // decimal: at most 10 digits typed
  file.WriteProfileString("Settings", "Wert", "000000000012");
  SetInterfaceChooser(chooser.Make());  // no reader
  auto d = std::make_unique<CTagwrightDlg>(file);
  d->quietMessages = true;
  d->Initialise();
  EXPECT_EQ(d->c.value->text(), "000000000012");

  CLocalReservationStore other(file, JournalPathFor(file.Path()));
  std::string m;
  ASSERT_EQ(other.Open("tagwright-cli", m), StoreResult::Ok) << m;
  d->c.writeSingle->click();
  EXPECT_TRUE(d->StatusText().contains("tagwright-cli (PID")) << d->StatusText().toStdString();
  // The other program writes three tags meanwhile.
  JobProgress p{"9000", 0, "", 0};
  ASSERT_TRUE(other.SetProgress(p));
  for (int v = 9000; v < 9003; ++v) {
    Reservation r;
    const JobProgress next{std::to_string(v + 1), 0, "", 0};
    ASSERT_EQ(other.Reserve(p, next, "", r), StoreResult::Ok);
    ASSERT_TRUE(other.Complete(r, false));
    p = next;
  }
  ASSERT_TRUE(other.Close());
  d.reset();
  EXPECT_EQ(file.GetProfileString("Settings", "Wert", ""), "9003");

  // What the operator typed is stored.
  d = std::make_unique<CTagwrightDlg>(file);
  d->quietMessages = true;
  d->Initialise();
  EXPECT_EQ(d->c.value->text(), "9003");
  d->c.value->setText("5000");
  d.reset();
  EXPECT_EQ(file.GetProfileString("Settings", "Wert", ""), "5000");
}

}  // namespace
}  // namespace tw::test
