// The engine's write and read steps and cycles against a scripted SDK: order of the write step,
// EM4450 protection guard, timers and the re-entry guard, stopping during a step, the import's end,
// and the mends (reserved progress, protocol line or store that cannot be written, lost answers).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "fake_tag_sdk.h"
#include "job/job_engine.h"
#include "job/reservation_store.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "tests/support/recording_view.h"

namespace tw::test {
namespace {

class FakeTimers : public ICycleTimers {
 public:
  int StartTimer(int id, int periodMs) override {
    running[id] = periodMs;
    return fail ? 0 : id;
  }
  void KillTimer(int id) override { running.erase(id); }
  std::map<int, int> running;
  bool fail = false;
};

// The local store whose reservations can be made to fail, as a full disk would.
class FlakyStore : public CLocalReservationStore {
 public:
  using CLocalReservationStore::CLocalReservationStore;
  StoreResult Reserve(const JobProgress& e, const JobProgress& n, const std::string& uid,
                      Reservation& out) override {
    return failReserve ? StoreResult::Failed : CLocalReservationStore::Reserve(e, n, uid, out);
  }
  bool failReserve = false;
};

class EngineTest : public ::testing::Test {
 protected:
  EngineTest() {
    engine.SetPortHandle(1);
    job.transponderType = kTypeHitag1;
    job.startBlock = 16;
    job.byteCount = 4;
    job.valueText = "1000";
    job.beepTime = 300;
    dir = std::string(::testing::TempDir()) + "engine_" + std::to_string(::getpid()) + "_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    std::filesystem::create_directories(dir, ec);
    sdk.blocks[1] = Word(0xF);
    // The job as the front end loaded it from the store.
    store.WriteProfileString(settings::kSettings, settings::kWert, job.valueText);
    reservations.emplace(store, dir + "/Tagwright.progress");
    engine.SetReservationStore(&*reservations, "test");
  }
  JobProgress Stored() {
    JobProgress p;
    std::string m;
    EXPECT_TRUE(reservations->ReadProgress(p, m)) << m;
    return p;
  }
  std::vector<int> Ids() const {
    std::vector<int> ids;
    for (const auto& m : view.messages) ids.push_back(m.id);
    return ids;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  JobParams job;
  RecordingView view;
  FakeTimers timers;
  FakeTagSdk sdk;
  MemorySettingsStore store;
  std::optional<FlakyStore> reservations;
  JobEngine engine{job, view, timers, sdk};
  std::string dir;
};

TEST_F(EngineTest, SingleWriteOrderValueAdvanceAndStoredProgress) {
  engine.OnWriteSingle();
  EXPECT_EQ(sdk.blocks[16], Word(1000));
  // No check step after a configuration that changed no credentials; green lamp, beep, message
  // with the written value.
  EXPECT_EQ(sdk.CallsStartingWith("ReadUid").size(), 1u);
  EXPECT_EQ(view.lamps, (std::vector<LampState>{LampState::Yellow, LampState::Green}));
  EXPECT_EQ(view.beeps, (std::vector<RecordingView::BeepCall>{{440, 300}}));
  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0], (StatusMessage{kMsgWriteDone, {std::string("1000")}}));
  EXPECT_EQ(job.valueText, "1001");
  EXPECT_EQ(store.GetProfileString(settings::kSettings, settings::kWert, ""), "1001");
  EXPECT_EQ(view.showCount, 1);

  // Outside a cycle the same tag is written again.
  engine.OnWriteSingle();
  EXPECT_EQ(sdk.blocks[16], Word(1001));
  EXPECT_EQ(job.valueText, "1002");
}

TEST_F(EngineTest, WithoutStoreTheValueIsStillWrittenInItsCanonicalForm) {
  engine.SetReservationStore(nullptr, "test");
  job.valueText = "0042";
  engine.OnWriteSingle();
  EXPECT_EQ(sdk.blocks[16], Word(42));
  ASSERT_FALSE(view.messages.empty());
  EXPECT_EQ(view.messages[0], (StatusMessage{kMsgWriteDone, {std::string("42")}}));
}

TEST_F(EngineTest, SingleWriteFailuresReport230AndKeepValue) {
  sdk.present = false;
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgNoValidTag}));
  EXPECT_EQ(job.valueText, "1000");

  view.Clear();
  sdk.present = true;
  sdk.failWrite = {16};
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{SdkErrorMessageId(0x85), kMsgNoValidTag}));
  EXPECT_EQ(view.lamps.back(), LampState::Red);
  EXPECT_EQ(job.valueText, "1000");
  // The reader refused: the value went back and is the next one again.
  EXPECT_EQ(store.GetProfileString(settings::kSettings, settings::kWert, ""), "1000");
}

TEST_F(EngineTest, PasswordBlocksRefusedForDataWhenConfigurationUsesThem) {
  job.transponderType = kTypeHitagS;
  job.startBlock = 3;
  job.authKey = "A1A2A3A4A5A6";
  job.authMode = 1;
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgDataInPasswordBlocks}));
  EXPECT_EQ(view.focus.back(), JobControl::StartBlock);
  EXPECT_TRUE(sdk.calls.empty());
  engine.OnWriteCyclic();
  EXPECT_FALSE(engine.WriteCycleRunning());

  view.Clear();
  job.authMode = 0;  // without authentication mode the blocks are ordinary data
  sdk.authAnswer = {0, 0, 0, 0};
  sdk.blocks[1] = Word(0);
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));

  view.Clear();
  job.transponderType = kTypeSic7888;
  job.startBlock = 2;
  job.passwordActive = 1;
  job.tagPassword = "55667788";
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgDataInPasswordBlocks}));
}

TEST_F(EngineTest, BeepTimeZeroIsSilent) {
  job.beepTime = 0;
  engine.OnWriteSingle();
  EXPECT_TRUE(view.beeps.empty());
  EXPECT_EQ(view.lamps.back(), LampState::Green);
}

TEST_F(EngineTest, Em4450ProtectionLiftedOnlyWhenJobTouchesIt) {
  job.transponderType = kTypeEm4450;
  sdk.blocks[2] = Word(0);
  job.writeProtectFirst = 3;
  job.writeProtectLast = 10;
  sdk.blocks[1] = {0, 0, 3, 9};
  job.startBlock = 12;
  ASSERT_TRUE(engine.WriteStep(false));
  auto writes = sdk.CallsStartingWith("Write 6 1 ");
  ASSERT_EQ(writes.size(), 1u);  // only the configuration's protection word
  EXPECT_EQ(writes[0], "Write 6 1 0000030A 0");

  sdk.calls.clear();
  sdk.blocks[1] = {0, 0, 3, 10};
  job.startBlock = 8;
  job.byteCount = 8;
  job.valueText = "5";
  ASSERT_TRUE(engine.WriteStep(false));
  writes = sdk.CallsStartingWith("Write 6 ");
  ASSERT_GE(writes.size(), 2u);
  EXPECT_EQ(writes[0], "Write 6 1 00000000 0");  // cleared before the data
  EXPECT_EQ(writes[1], "Write 6 8 0500000000000000 0");
}

TEST_F(EngineTest, TagCheckedAfterWritingWhenConfigurationChangedAccess) {
  job.transponderType = kTypeHitagS;
  job.startBlock = 4;
  job.authMode = 1;
  job.authKey = "A1A2A3A4A5A6";
  sdk.authResults = {0, -1};  // the tag cannot be selected any more after writing
  ASSERT_TRUE(engine.WriteStep(false));
  EXPECT_EQ(sdk.CallsStartingWith("ReadUid").size(), 2u);
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgNewCredentialsFailed, kMsgWriteDone}));
}

TEST_F(EngineTest, CycleWritesHeldTagOnceAndStopsCleanly) {
  engine.OnWriteCyclic();
  ASSERT_TRUE(engine.WriteCycleRunning());
  EXPECT_EQ(timers.running.at(kWriteTimerId), 250);
  EXPECT_EQ(sdk.CallsStartingWith("KeepUi"), (std::vector<std::string>{"KeepUi 1"}));
  EXPECT_TRUE(view.writeCycleChecked);
  EXPECT_EQ(view.lampPanel, (std::vector<bool>{true}));

  for (int i = 0; i < 5; ++i) engine.OnTimer(kWriteTimerId);
  EXPECT_EQ(sdk.CallsStartingWith("Write 5 16").size(), 1u);
  EXPECT_EQ(job.valueText, "1001");
  EXPECT_EQ(view.lamps.back(), LampState::Green);

  // A tick for a timer that is not running does nothing.
  const size_t n = sdk.calls.size();
  engine.OnTimer(kReadTimerId);
  EXPECT_EQ(sdk.calls.size(), n);

  engine.OnWriteCyclic();
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_TRUE(timers.running.empty());
  EXPECT_EQ(sdk.CallsStartingWith("KeepUi"), (std::vector<std::string>{"KeepUi 1", "KeepUi 0"}));
  EXPECT_FALSE(view.writeCycleChecked);
  EXPECT_EQ(view.enableCalls.back(), true);
}

TEST_F(EngineTest, CycleFailureMessagesAreNotRepeated) {
  engine.OnWriteCyclic();
  sdk.failWrite = {16};
  for (int i = 0; i < 4; ++i) engine.OnTimer(kWriteTimerId);
  EXPECT_EQ(Ids(), (std::vector<int>{SdkErrorMessageId(0x85)}));
  EXPECT_TRUE(engine.WriteCycleRunning());  // a failed step does not end the cycle
}

TEST_F(EngineTest, StopDuringStepLetsStepFinishAndKeepsUiFlagUntilAfter) {
  engine.OnWriteCyclic();
  bool clicked = false;
  sdk.onWrite = [&] {
    if (clicked) return;
    clicked = true;
    engine.OnTimer(kWriteTimerId);  // a tick dispatched during the wait is dropped
    engine.OnWriteCyclic();         // the operator stops the cycle
    EXPECT_EQ(sdk.CallsStartingWith("KeepUi"), (std::vector<std::string>{"KeepUi 1"}));
  };
  engine.OnTimer(kWriteTimerId);
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_EQ(job.valueText, "1001");  // the step advanced the value
  EXPECT_EQ(view.messages.back().id, kMsgWriteDone);
  EXPECT_EQ(sdk.CallsStartingWith("Write 5 16").size(), 1u);
  EXPECT_EQ(sdk.CallsStartingWith("KeepUi"), (std::vector<std::string>{"KeepUi 1", "KeepUi 0"}));
  EXPECT_FALSE(engine.InTimer());
}

TEST_F(EngineTest, CycleNotStartedWhenCheckFailsOrTimerMissing) {
  job.valueText.clear();
  engine.OnWriteCyclic();
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_FALSE(view.writeCycleChecked);
  EXPECT_TRUE(sdk.CallsStartingWith("KeepUi").empty());

  job.valueText = "1";
  timers.fail = true;
  engine.OnWriteCyclic();
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_EQ(sdk.CallsStartingWith("KeepUi"), (std::vector<std::string>{"KeepUi 1", "KeepUi 0"}));
}

TEST_F(EngineTest, ImportCycleOfThreeLinesStopsAtEnd) {
  const std::string data = dir + "/data.txt";
  std::ofstream(data) << "7\n8\n9\n";
  job.autoIncrement = 0;
  job.importData = 1;
  job.importFile = data;
  ASSERT_TRUE(engine.OpenImportFile(0));
  engine.OnWriteCyclic();
  ASSERT_TRUE(engine.WriteCycleRunning());

  const CMyByteArray uids[3] = {{1, 1, 1, 1}, {2, 2, 2, 2}, {3, 3, 3, 3}};
  std::vector<CMyByteArray> written;
  for (const auto& uid : uids) {
    sdk.uid = uid;
    engine.OnTimer(kWriteTimerId);
    written.push_back(sdk.blocks[16]);
    if (&uid == &uids[0]) {
      EXPECT_EQ(Stored(), (JobProgress{"8", 1, data, 2}));
    }
  }
  EXPECT_EQ(written, (std::vector<CMyByteArray>{Word(7), Word(8), Word(9)}));
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_TRUE(job.valueText.empty());
  EXPECT_TRUE(job.importFile.empty());
  EXPECT_TRUE(engine.DataImport().counterText.empty());
  // The store keeps the used-up file with its position past the end: the same file again writes
  // nothing twice.
  EXPECT_EQ(Stored(), (JobProgress{"", 1, data, 4}));
  EXPECT_EQ(sdk.CallsStartingWith("KeepUi").back(), "KeepUi 0");
}

TEST_F(EngineTest, OpenImportFileResumesAtSavedLineOrRejectsPosition) {
  const std::string data = dir + "/data.txt";
  std::ofstream(data) << "1\n2\n3\n4\n5\n";
  job.importData = 1;
  job.importFile = data;
  ASSERT_TRUE(engine.OpenImportFile(4));
  EXPECT_EQ(job.valueText, "4");
  EXPECT_EQ(job.importLinesUsed, 4);
  EXPECT_EQ(engine.DataImport().counterText, "4 / 5");

  EXPECT_FALSE(engine.OpenImportFile(7));
  EXPECT_TRUE(job.importFile.empty());
  EXPECT_EQ(Ids(), (std::vector<int>{IDS_IMPORT_INVALID}));

  view.Clear();
  job.importFile = dir + "/none.txt";
  EXPECT_FALSE(engine.OpenImportFile(0));  // missing file: no message
  EXPECT_TRUE(job.importFile.empty());
  EXPECT_TRUE(view.messages.empty());
}

TEST_F(EngineTest, CycleStopsWhenAdvancedValueFailsCheck) {
  const std::string data = dir + "/data.txt";
  std::ofstream(data) << "7\nabc\n9\n";
  job.autoIncrement = 0;
  job.importData = 1;
  job.importFile = data;
  ASSERT_TRUE(engine.OpenImportFile(0));
  engine.OnWriteCyclic();
  engine.OnTimer(kWriteTimerId);
  EXPECT_EQ(sdk.blocks[16], Word(7));
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_EQ(view.messages.back().id, 32852);  // "Keine Dezimal-Eingabe"
}

TEST_F(EngineTest, ProtocolLineEachWriteAndReportWhenItCannotBeWritten) {
  job.logWrites = 1;
  job.writeLogFile = dir + "/log.txt";
  engine.OnWriteSingle();
  const std::string log = ReadFile(job.writeLogFile);
  EXPECT_NE(log.find("     1\t"), std::string::npos);
  EXPECT_NE(log.find("\t44332211\t"), std::string::npos);
  EXPECT_NE(log.find("\t1000\r\n"), std::string::npos);  // the value written, not the next one

  view.Clear();
  job.writeLogFile = dir + "/missing/log.txt";
  engine.OnWriteSingle();
  // The tag holds 1001 without a record: no success, the value is spent (reported) and never
  // handed out again.
  EXPECT_EQ(sdk.blocks[16], Word(1001));
  ASSERT_GE(view.messages.size(), 2u);
  EXPECT_EQ(view.messages[0], (StatusMessage{kMsgProtocolNotWritten, {job.writeLogFile}}));
  EXPECT_EQ(view.messages[1].id, kMsgReservationSpent);
  const std::vector<int> ids = Ids();
  EXPECT_EQ(std::count(ids.begin(), ids.end(), kMsgWriteDone), 0);
  EXPECT_FALSE(view.lines[0].empty());
  EXPECT_EQ(job.valueText, "1002");
  std::vector<Reservation> list;
  std::string m;
  ASSERT_TRUE(reservations->ListReservations(list, m));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].taken.value, "1001");
  EXPECT_EQ(list[0].state, ReservationState::Spent);
}

TEST_F(EngineTest, ValueThatCannotBeReservedIsNotWritten) {
  engine.OnWriteCyclic();
  reservations->failReserve = true;
  engine.OnTimer(kWriteTimerId);
  EXPECT_TRUE(sdk.CallsStartingWith("Write").empty());
  EXPECT_FALSE(engine.WriteCycleRunning());
  EXPECT_EQ(view.messages.back().id, kMsgProgressNotSaved);
}

TEST_F(EngineTest, ReadCycleLogsHeldTagOnceAndEmptiesValueWhenGone) {
  sdk.blocks[16] = Word(4711);
  job.logReads = 1;
  job.readLogFile = dir + "/read.txt";
  engine.OnReadCyclic();
  ASSERT_TRUE(engine.ReadCycleRunning());
  EXPECT_TRUE(job.valueText.empty());
  EXPECT_TRUE(view.lampPanel.empty());
  for (int i = 0; i < 4; ++i) engine.OnTimer(kReadTimerId);
  EXPECT_EQ(job.valueText, "4711");
  EXPECT_EQ(sdk.CallsStartingWith("Read 5 16").size(), 1u);
  EXPECT_EQ(view.values.back(), "4711");
  const std::string log = ReadFile(job.readLogFile);
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1);

  sdk.present = false;
  engine.OnTimer(kReadTimerId);
  EXPECT_EQ(view.values.back(), "");
  engine.OnReadCyclic();
  EXPECT_FALSE(engine.ReadCycleRunning());
  EXPECT_EQ(sdk.CallsStartingWith("KeepUi"), (std::vector<std::string>{"KeepUi 1", "KeepUi 0"}));
}

TEST_F(EngineTest, ReadRequestsWholeBlocksAndDecodesByteCount) {
  job.transponderType = kTypeHitagS;
  job.startBlock = 4;
  job.byteCount = 5;
  job.numberFormat = kFormatHex;
  sdk.authAnswer = {0, 0, 0, 0};
  sdk.blocks[4] = {0x01, 0x02, 0x03, 0x04};
  sdk.blocks[5] = {0x05, 0xEE, 0xEE, 0xEE};
  engine.OnReadSingle();
  EXPECT_EQ(sdk.CallsStartingWith("Read 4 4"), (std::vector<std::string>{"Read 4 4 8"}));
  EXPECT_EQ(job.valueText, "504030201");

  sdk.blocks.erase(4);
  engine.OnReadSingle();
  EXPECT_EQ(view.values.back(), "");
  EXPECT_EQ(view.messages.back().id, SdkErrorMessageId(0x84));
}

TEST_F(EngineTest, StopCyclesStopsBothAndRestoresControls) {
  engine.OnReadCyclic();
  engine.StopCycles();
  EXPECT_FALSE(engine.ReadCycleRunning());
  EXPECT_TRUE(timers.running.empty());
  EXPECT_EQ(view.enableCalls.back(), true);
  EXPECT_FALSE(view.readCycleChecked);
}

}  // namespace
}  // namespace tw::test

namespace tw::test {
namespace {

// A write whose answer is lost: read back while the tag is there; a tag that left may hold the
// value, which is then spent (reported, never handed out) instead of going to the next tag.
TEST_F(EngineTest, LostWriteAnswerIsSettledByReadingBackOrSpent) {
  sdk.lostAnswer = 7;  // timeout
  engine.OnWriteSingle();
  EXPECT_EQ(sdk.blocks[16], Word(1000));
  EXPECT_EQ(view.messages.back().id, kMsgWriteDone);
  EXPECT_EQ(job.valueText, "1001");

  view.Clear();
  sdk.lostAnswer = 7;  // timeout
  sdk.leaveAfterWrite = true;
  engine.OnWriteSingle();
  EXPECT_EQ(sdk.blocks[16], Word(1001));
  const std::vector<int> ids = Ids();
  EXPECT_NE(std::find(ids.begin(), ids.end(), kMsgReservationSpent), ids.end());
  EXPECT_EQ(job.valueText, "1002");
  std::vector<Reservation> list;
  std::string m;
  ASSERT_TRUE(reservations->ListReservations(list, m));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].taken.value, "1001");
  EXPECT_EQ(list[0].uid, "44332211");
}

}  // namespace
}  // namespace tw::test
