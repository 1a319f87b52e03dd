#include "job/reservation_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "shell/settings_keys.h"
#include "shell/settings_store.h"
#include "tests/unit/shell/temp_dir.h"

namespace tw {
namespace {

using test::TempDir;

JobProgress Value(const std::string& v) { return JobProgress{v, 0, "", 0}; }
JobProgress Line(const std::string& v, const std::string& file, int line) {
  return JobProgress{v, 1, file, line};
}

struct Job {
  TempDir dir;
  FileSettingsStore settings{dir.File("Tagwright.conf")};
  std::string journal = dir.File("Tagwright.progress");

  JobProgress Progress() {
    CLocalReservationStore s(settings, journal);
    JobProgress p;
    std::string message;
    EXPECT_TRUE(s.ReadProgress(p, message)) << message;
    return p;
  }
};

// Runs fn in a child that ends without any clean-up, as a killed process does.
template <typename Fn>
void DieAfter(Fn fn) {
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    fn();
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
}

TEST(LocalReservationStore, ReservationSurvivesADeadWriterAndIsNeverHandedOutAgain) {
  Job job;
  job.settings.WriteProfileString(settings::kSettings, settings::kWert, "1000");
  DieAfter([&] {
    CLocalReservationStore s(job.settings, job.journal);
    std::string m;
    Reservation r;
    if (s.Open("tagwright-cli", m) != StoreResult::Ok) return;
    s.Reserve(Value("1000"), Value("1001"), "E0040100AABBCCDD", r);
  });
  // Before anyone folds the journal, readers already see the progress past the reserved value.
  EXPECT_EQ(job.Progress(), Value("1001"));

  CLocalReservationStore s(job.settings, job.journal);
  std::string m;
  ASSERT_EQ(s.Open("tagwright", m), StoreResult::Ok) << m;  // the dead writer's lock is gone
  EXPECT_EQ(job.settings.GetProfileString(settings::kSettings, settings::kWert, ""), "1001");
  std::vector<Reservation> list;
  ASSERT_TRUE(s.ListReservations(list, m));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].taken.value, "1000");
  EXPECT_EQ(list[0].uid, "E0040100AABBCCDD");
  EXPECT_EQ(list[0].state, ReservationState::Open);
  Reservation r;
  EXPECT_EQ(s.Reserve(Value("1000"), Value("1001"), "X", r), StoreResult::Conflict);

  // Spent reservations outlive the settle on Close and are reported to the next run.
  ASSERT_TRUE(s.MarkSpent(list[0]));
  ASSERT_TRUE(s.Close());
  CLocalReservationStore again(job.settings, job.journal);
  ASSERT_TRUE(again.ListReservations(list, m));
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].state, ReservationState::Spent);
  // The tag came back holding the value: settled for good.
  ASSERT_EQ(again.Open("tagwright", m), StoreResult::Ok);
  ASSERT_TRUE(again.Complete(list[0], true));
  ASSERT_TRUE(again.Close());
  ASSERT_TRUE(again.ListReservations(list, m));
  EXPECT_TRUE(list.empty());
}

TEST(LocalReservationStore, GiveBackReturnsTheValueOnlyWhileNothingWasReservedAfterIt) {
  Job job;
  CLocalReservationStore s(job.settings, job.journal);
  std::string m;
  ASSERT_EQ(s.Open("tagwright-cli", m), StoreResult::Ok) << m;
  ASSERT_TRUE(s.SetProgress(Line("A", "/d/v.txt", 1)));
  Reservation a, b;
  ASSERT_EQ(s.Reserve(Line("A", "/d/v.txt", 1), Line("B", "/d/v.txt", 2), "1", a), StoreResult::Ok);
  ASSERT_TRUE(s.GiveBack(a));
  EXPECT_EQ(job.Progress(), Line("A", "/d/v.txt", 1));

  ASSERT_EQ(s.Reserve(Line("A", "/d/v.txt", 1), Line("B", "/d/v.txt", 2), "1", a), StoreResult::Ok);
  ASSERT_EQ(s.Reserve(Line("B", "/d/v.txt", 2), Line("C", "/d/v.txt", 3), "2", b), StoreResult::Ok);
  ASSERT_TRUE(s.GiveBack(a));  // too late: B went out after it, A is dropped
  EXPECT_EQ(job.Progress(), Line("C", "/d/v.txt", 3));
  ASSERT_TRUE(s.Complete(b, false));
  ASSERT_TRUE(s.Close());
  EXPECT_EQ(job.settings.GetProfileString(settings::kSettings, settings::kWert, ""), "C");
  EXPECT_EQ(job.settings.GetProfileInt(settings::kSettings, settings::kDatenLinesUsed, 0), 3);
  EXPECT_EQ(job.settings.GetProfileString(settings::kSettings, settings::kDatenFile, ""), "/d/v.txt");
}

TEST(LocalReservationStore, SecondWriterIsToldWhoHoldsTheJob) {
  Job job;
  CLocalReservationStore first(job.settings, job.journal), second(job.settings, job.journal);
  std::string m;
  ASSERT_EQ(first.Open("tagwright-cli", m), StoreResult::Ok);
  EXPECT_EQ(second.Open("tagwright", m), StoreResult::Busy);
  EXPECT_EQ(m, "tagwright-cli (PID " + std::to_string(::getpid()) + ")");
  first.Close();
  EXPECT_EQ(second.Open("tagwright", m), StoreResult::Ok);
}

TEST(LocalReservationStore, TornLastLineIsDroppedButDamageBeforeItFails) {
  Job job;
  CLocalReservationStore s(job.settings, job.journal);
  std::string m;
  ASSERT_EQ(s.Open("t", m), StoreResult::Ok);
  ASSERT_TRUE(s.SetProgress(Value("7")));
  ASSERT_TRUE(s.SetProgress(Value("8")));
  // The journal as a crash left it, read by another program.
  std::string text = test::ReadFile(job.journal);
  test::WriteFile(job.journal, text + "P\t9\t0");  // a write cut off by the crash
  EXPECT_EQ(job.Progress(), Value("8"));
  text[text.find("\t7\t") + 1] = '6';  // a changed byte inside a whole line
  test::WriteFile(job.journal, text);
  JobProgress p;
  EXPECT_FALSE(CLocalReservationStore(job.settings, job.journal).ReadProgress(p, m));
  EXPECT_NE(m.find("damaged"), std::string::npos);
}

}  // namespace
}  // namespace tw
