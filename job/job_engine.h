// The job engine that both front ends drive: single and cyclic writes and reads of transponders,
// with the tag step, the configuration after writing, lamps, beep, status lines, protocol lines,
// the value advancing by counting or from the import file, and the cycle timers with their
// re-entry guard. The front end supplies the view, the timers and the reader handle.
#pragma once
#include <string>

#include "job/job_engine_state.h"
#include "job/job_params.h"
#include "job/job_view.h"
#include "shell/import_file.h"

namespace tw {

class ISettingsStore;
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
inline constexpr int kMsgDataInPasswordBlocks = 32882;  // data would be overwritten by passwords

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

  // Store that receives the advanced value (Wert) and import position (DatenLinesUsed, DatenFile)
  // after every successful write, before the next tag is taken, so that a crash never writes the
  // same value twice. Null: nothing is stored.
  void SetSettingsStore(ISettingsStore* store) { store_ = store; }

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
  // The protocol line of a write or read; a line that cannot be written is reported.
  void LogLine(const std::string& path);
  // Mend: keeps the next value and the import position in the store.
  void SaveProgress();

  JobParams& job_;
  IJobView& view_;
  ICycleTimers& timers_;
  ITagSdk& sdk_;
  ISettingsStore* store_ = nullptr;
  JobEngineState state_;
  StatusReporter status_;
  CDataImport dataImport_;
  JobContext ctx_;
};

}  // namespace tw
