// The job engine that both front ends drive: single and cyclic writes and reads of transponders,
// with the tag step, the configuration after writing, lamps, beep, status lines, protocol lines,
// the value advancing by counting or from the import file, and the cycle timers with their
// re-entry guard. The front end supplies the view, the timers and the reader handle.
#pragma once
#include <optional>
#include <set>
#include <string>

#include "job/job_engine_state.h"
#include "job/job_params.h"
#include "job/job_view.h"
#include "job/reservation_store.h"
#include "shell/import_file.h"

namespace tw {

class ITagSdk;

// Window timers of the front end. Ticks come back through JobEngine::OnTimer(id) on the thread that
// runs the engine, also while an SDK call pumps UI events.
class ICycleTimers {
 public:
  virtual ~ICycleTimers() = default;
  // Starts a repeating timer; returns id, or 0 when no timer could be started.
  virtual int StartTimer(int id, int periodMs) = 0;
  virtual void KillTimer(int id) = 0;
};

inline constexpr int kWriteTimerId = 1;
inline constexpr int kReadTimerId = 2;
inline constexpr int kBeepFrequencyHz = 440;

// Status message ids of the write and read steps.
inline constexpr int kMsgNoValidTag = 230;
inline constexpr int kMsgNewCredentialsFailed = 241;
inline constexpr int kMsgWriteDone = 32850;         // "Wert <%s> erfolgreich geschrieben"
inline constexpr int kMsgProtocolNotWritten = 32880;  // protocol line could not be written (%s: file)
inline constexpr int kMsgProgressNotSaved = 32881;    // next value could not be stored
// A store shared by several stations: the tag already has a value in the job (%s UID, value,
// station, time); the store cannot be reached (%s why); no value left.
inline constexpr int kMsgReaderGone = 33005;  // "Der Leser antwortet nicht mehr"
inline constexpr int kMsgTagOnce = 33300;
inline constexpr int kMsgStoreUnreachable = 33301;
inline constexpr int kMsgValuesUsedUp = 33302;
inline constexpr int kMsgDataInPasswordBlocks = 32882;  // data would be overwritten by passwords
inline constexpr int kMsgJobBusy = 32884;            // "... wird gerade von %s ausgeführt!"
inline constexpr int kMsgReservationSpent = 32885;   // value %s for tag %s (%s: time) unconfirmed
inline constexpr int kMsgReservationSettled = 32886;  // value %s confirmed on tag %s
inline constexpr int kMsgReservationRecorded = 32888;  // value %s on tag %s: record from the protocol
inline constexpr int kMsgProgressUnreadable = 32887;  // progress cannot be read (%s: why)

// The progress fields of a job as a store keeps them (DatenFile, DatenLinesUsed only while
// importing).
JobProgress ProgressOf(const JobParams& job);
// Puts progress into the job's fields (the data file is not opened).
void ApplyProgress(JobParams& job, const JobProgress& progress);

class JobEngine {
 public:
  // job and view belong to the front end and outlive the engine. sdk defaults to the real SDK.
  JobEngine(JobParams& job, IJobView& view, ICycleTimers& timers);
  JobEngine(JobParams& job, IJobView& view, ICycleTimers& timers, ITagSdk& sdk);
  JobEngine(const JobEngine&) = delete;
  JobEngine& operator=(const JobEngine&) = delete;

  // Handle of the connected reader (0 or negative: none; every step then fails at the tag step).
  void SetPortHandle(int h) { state_.portHandle = h; }
  int PortHandle() const { return state_.portHandle; }

  // The store that reserves every value before its tag is written and keeps the progress
  // (job/reservation_store.h); program names this program in what a second one is told. Call it
  // when the job fields hold what was loaded: they are the progress the operator has not changed.
  // Null: values are neither reserved nor kept.
  void SetReservationStore(CReservationStore* store, std::string program);
  CReservationStore* ReservationStore() const { return reservations_; }
  // The progress as the engine last loaded, took or advanced it. Job fields that differ from it
  // were changed by the operator.
  const JobProgress& KnownProgress() const { return known_; }

  // Takes the job for this process before any reader traffic: the writer role, the reservations
  // left open by a run that died settled (completed when the write protocol has their line, else
  // spent), spent reservations reported once, and the progress: fresh from the store when the
  // operator left the fields alone, else the operator's fields (in canonical form) are stored.
  // write = false (reads) takes the role only. False with a status line when another process
  // runs the job or the store fails; nothing has been sent to the reader then. Calls nest.
  bool BeginJob(bool write = true);
  // Gives the job up again when the outermost BeginJob ends; a write whose tag could not be
  // settled is reported as spent.
  void EndJob();
  // Stores the operator's changes of the progress fields (the window closing). False when they
  // could not be stored (another process runs the job, or the store fails).
  bool StoreChangedProgress();

  // The import's data file. Its counterText is shown with the job fields (ShowFields).
  CDataImport& DataImport() { return dataImport_; }
  // Opens job.importFile at line n (0 and 1: the first line) into the value when importing is turned
  // on, a file is chosen, or the window starts with importing on (n = importLinesUsed). Shows the
  // fields and loads them back. False, with importFile emptied, when the file cannot be opened
  // (no message), or with string 148 (invalid data file) when the position lies beyond its end or
  // the line fails the input checks.
  bool OpenImportFile(int n);

  // Button handlers.
  void OnWriteSingle();
  void OnWriteCyclic();
  void OnReadSingle();
  void OnReadCyclic();
  // Timer handler for ids 1 (write) and 2 (read). A tick that arrives while a tick is handled is
  // dropped.
  void OnTimer(int id);
  // Stops both cycles (window destruction, exhausted import, failed check of the next value).
  void StopCycles();

  // One write or read; skipSame inside the cycles.
  bool WriteStep(bool skipSame);
  bool ReadStep(bool skipSame);

  // Part of the import: the next line becomes the value (see CDataImport); the fields are shown
  // and loaded back from the controls. False at the end of the data or when the load fails.
  bool ReadNextImportLine();

  bool WriteCycleRunning() const { return state_.writeTimerId != 0; }
  bool ReadCycleRunning() const { return state_.readTimerId != 0; }
  bool InTimer() const { return status_.inTimer != 0; }

  JobEngineState& State() { return state_; }
  StatusReporter& Status() { return status_; }
  JobContext& Context() { return ctx_; }

 private:
  void StopWriteTimer();
  void StopReadTimer();
  bool WriteStepInJob(bool skipSame);
  // The protocol line of a write or read with value; a line that cannot be written is reported.
  bool LogLine(const std::string& path, const std::string& value);
  // The progress that follows taken: counted up, the next import line, or the same value.
  JobProgress NextProgress(const JobProgress& taken);
  // After a reservation: the job fields move on to the next value (the import's end stops the
  // cycles).
  void TakeNextValue();
  // The tag in the field has the UID of a spent reservation: read it; when it holds that value,
  // its protocol line is written and the reservation completed. True when the tag was settled so.
  bool SettleReturningTag(const std::string& uid);
  // Reads the job's blocks back from the tag in the field: 1 it holds bytes, 0 it holds something
  // else, -1 it cannot be read (gone).
  int ReadBack(const CMyByteArray& bytes);
  void Spend(const Reservation& r);
  void ReportSpent(const Reservation& r);
  bool InWriteProtocol(const Reservation& r) const;
  void StoreFailed();

  JobParams& job_;
  IJobView& view_;
  ICycleTimers& timers_;
  ITagSdk& sdk_;
  CReservationStore* reservations_ = nullptr;
  std::string program_;
  JobProgress known_;
  int jobDepth_ = 0;
  bool closeOnEnd_ = false;
  bool endJobAfterTick_ = false;  // a cycle stopped during its tick gives the job up after it
  // A reservation whose tag may hold the value (answer lost and the tag not readable, or its
  // configuration failed): the same tag gets the same value again; another tag makes it spent.
  std::optional<Reservation> pending_;
  std::vector<Reservation> spent_;
  std::set<int64_t> reported_;
  JobEngineState state_;
  StatusReporter status_;
  CDataImport dataImport_;
  JobContext ctx_;
};

}  // namespace tw
