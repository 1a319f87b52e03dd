#include "job/job_engine.h"

#include <fcntl.h>

#include <ctime>

#include "job/job_checks.h"
#include "job/job_engine_sdk.h"
#include "job/value_encoding.h"
#include "job/write_cycle.h"
#include "platform/cp1252.h"
#include "shell/file_prims.h"
#include "shell/protocol_file.h"

namespace tw {

int SdkErrorMessageId(int code) {
  switch (code) {
    case 6: return 32860;   // "Fehler beim Port öffnen"
    case 7: return 32861;   // "Timeout"
    case 8: return 32862;   // "Blocklänge ist nicht korrekt"
    case 9: return 32863;   // "Fehler: Falsche Datenanzahl"
    case 11: return 32864;  // "Keine Sendedaten"
    case 15: return 129;    // no reader at this port
    case 21: return 230;    // "Kein gültiger Transponder vorhanden!"
    default: return 32865;  // "Unbekannter Fehler ist aufgetreten"
  }
}

void AddSdkErrorMessage(JobContext& ctx) {
  ctx.status.AddStatusMessage(SdkErrorMessageId(ctx.sdk.GetLastError(ctx.state.portHandle)));
}

JobEngine::JobEngine(JobParams& job, IJobView& view, ICycleTimers& timers)
    : JobEngine(job, view, timers, LfTagSdk()) {}

JobEngine::JobEngine(JobParams& job, IJobView& view, ICycleTimers& timers, ITagSdk& sdk)
    : job_(job), view_(view), timers_(timers), sdk_(sdk), status_(view),
      ctx_{job_, state_, status_, view_, sdk_} {}

void JobEngine::OnTimer(int id) {
  // An SDK call of the running step dispatches UI events while it waits; a tick that arrives then
  // is dropped.
  if (status_.inTimer || id == 0) return;
  status_.inTimer = 1;
  if (id == state_.readTimerId) {
    ReadStep(true);
    if (state_.readTimerId == 0) sdk_.SetKeepUiEnabled(state_.portHandle, 0);
  }
  if (id == state_.writeTimerId) {
    const bool written = WriteStep(true);
    // The advanced value (next number or import line) must pass the checks before the next tag.
    if (written && state_.writeTimerId != 0 &&
        (!ValidateWriteJob(job_, status_) || !CheckDataOutsidePasswordBlocks(job_, status_)))
      StopCycles();
    if (state_.writeTimerId == 0) sdk_.SetKeepUiEnabled(state_.portHandle, 0);
  }
  status_.inTimer = 0;
  if (endJobAfterTick_) {
    endJobAfterTick_ = false;
    EndJob();
  }
}

void JobEngine::StopWriteTimer() {
  if (state_.writeTimerId == 0) return;
  timers_.KillTimer(state_.writeTimerId);
  state_.writeTimerId = 0;
  view_.SetCycleButton(CycleButton::Write, false);
  // Inside a step the flag stays on until the step has finished (OnTimer turns it off), and the
  // job is given up after it.
  if (!status_.inTimer) {
    sdk_.SetKeepUiEnabled(state_.portHandle, 0);
    EndJob();
  } else {
    endJobAfterTick_ = true;
  }
}

void JobEngine::StopReadTimer() {
  if (state_.readTimerId == 0) return;
  timers_.KillTimer(state_.readTimerId);
  state_.readTimerId = 0;
  view_.SetCycleButton(CycleButton::Read, false);
  if (!status_.inTimer) {
    sdk_.SetKeepUiEnabled(state_.portHandle, 0);
    EndJob();
  } else {
    endJobAfterTick_ = true;
  }
}

void JobEngine::StopCycles() {
  StopWriteTimer();
  StopReadTimer();
  view_.EnableJobControls(true);
}

bool JobEngine::ReadNextImportLine() {
  const bool ok = dataImport_.ReadNextImportLine(job_.valueText);
  job_.importFile = dataImport_.importFile;
  job_.importLinesUsed = dataImport_.importLinesUsed;
  // Value, counter and file name as they are now (all three empty at the end of the data).
  view_.ShowFields();
  if (!ok) return false;
  return view_.LoadControls();
}

bool JobEngine::OpenImportFile(int n) {
  dataImport_.importFile = job_.importFile;
  const ImportOpenResult r = dataImport_.OpenImportFile(n, job_.valueText);
  bool ok = r == ImportOpenResult::Loaded;
  if (!ok) dataImport_.importFile.clear();
  job_.importFile = dataImport_.importFile;
  job_.importLinesUsed = dataImport_.importLinesUsed;
  view_.ShowFields();
  if (ok) ok = view_.LoadControls();
  if (!ok && r != ImportOpenResult::CannotOpen)
    status_.AddStatusLine(StatusMessage{IDS_IMPORT_INVALID, {}});
  return ok;
}

bool JobEngine::LogLine(const std::string& path, const std::string& value) {
  ProtocolLineInput in;
  in.uid = state_.currentUid;
  in.numberFormat = job_.numberFormat;
  in.display = job_.display;
  in.orientation = job_.orientation;
  in.startBlock = job_.startBlock;
  in.byteCount = job_.byteCount;
  in.valueText = value;
  if (WriteProtocolLine(path, in)) return true;
  status_.AddStatusLine(StatusMessage{kMsgProtocolNotWritten, {Utf8ToCp1252(path)}});
  return false;
}

JobProgress ProgressOf(const JobParams& job) {
  JobProgress p;
  p.value = job.valueText;
  p.importData = job.importData;
  if (job.importData) {
    p.importFile = job.importFile;
    p.importLinesUsed = job.importLinesUsed;
  }
  return p;
}

void ApplyProgress(JobParams& job, const JobProgress& progress) {
  job.valueText = progress.value;
  job.importData = progress.importData;
  job.importFile = progress.importData ? progress.importFile : std::string();
  job.importLinesUsed = progress.importData ? progress.importLinesUsed : 0;
  if (job.importData) job.autoIncrement = 0;
}

void JobEngine::SetReservationStore(CReservationStore* store, std::string program) {
  reservations_ = store;
  program_ = std::move(program);
  known_ = ProgressOf(job_);
}

void JobEngine::StoreFailed() {
  // Without the store the next value could go to a second tag: stop rather than risk it.
  // A shared store says why (server gone, connection lost ...).
  const std::string why = reservations_ != nullptr ? reservations_->LastMessage() : std::string();
  if (why.empty())
    status_.AddStatusLine(StatusMessage{kMsgProgressNotSaved, {}});
  else
    status_.AddStatusLine(StatusMessage{kMsgStoreUnreachable, {why}});
  StopCycles();
}

bool JobEngine::InWriteProtocol(const Reservation& r) const {
  if (!job_.logWrites || job_.writeLogFile.empty() || r.uid.empty()) return false;
  const int fd = OpenFile(job_.writeLogFile, O_RDONLY, 0);
  if (fd < 0) return false;
  // The line of a reservation left open is among the last ones: the run died right after it.
  FileStat st;
  const long long size = StatFd(fd, st) ? st.size : 0;
  const long long from = size > 65536 ? size - 65536 : 0;
  std::string tail(static_cast<size_t>(size > from ? size - from : 0), '\0');
  const long long got = size > 0 ? ReadAt(fd, tail.data(), tail.size(), from) : 0;
  CloseFile(fd);
  if (got <= 0) return false;
  tail.resize(static_cast<size_t>(got));
  size_t end = tail.size();
  while (end > 0) {
    size_t start = tail.rfind('\n', end - 1 - (tail[end - 1] == '\n' ? 1 : 0));
    start = start == std::string::npos ? 0 : start + 1;
    std::string line = tail.substr(start, end - start);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    // Fields: number, time, UID, labels, start block, byte count, value (which may hold TABs).
    size_t tab = 0;
    std::string fields[7];
    size_t pos = 0;
    for (; tab < 6; ++tab) {
      const size_t t = line.find('\t', pos);
      if (t == std::string::npos) break;
      fields[tab] = line.substr(pos, t - pos);
      pos = t + 1;
    }
    if (tab == 6 && fields[2] == r.uid && line.substr(pos) == r.taken.value) return true;
    if (start == 0) break;
    end = start;
  }
  return false;
}

void JobEngine::ReportSpent(const Reservation& r) {
  if (!reported_.insert(r.id).second) return;
  char when[32] = "";
  const std::time_t t = static_cast<std::time_t>(r.time);
  std::tm local{};
  if (LocalTime(t, &local)) std::strftime(when, sizeof when, "%d.%m.%Y %H:%M:%S", &local);
  status_.AddStatusLine(StatusMessage{kMsgReservationSpent, {r.taken.value, r.uid, std::string(when)}});
}

void JobEngine::Spend(const Reservation& r) {
  if (!reservations_->MarkSpent(r)) {
    StoreFailed();
    return;
  }
  Reservation s = r;
  s.state = ReservationState::Spent;
  spent_.push_back(s);
  ReportSpent(s);
}

// The value in the form it will be written and logged, before any traffic.
// (An empty value stays empty, so that the job check reports it.)
static void MakeValueCanonical(JobParams& job, IJobView& view) {
  if (job.numberFormat != kFormatNone && !job.valueText.empty()) AdvanceValue(job, view, 0);
}

bool JobEngine::BeginJob(bool write) {
  if (reservations_ == nullptr) {
    // Without a store (a run that keeps nothing) the value is still written in its canonical form.
    if (write) MakeValueCanonical(job_, view_);
    return true;
  }
  if (jobDepth_ > 0) {
    ++jobDepth_;
    return true;
  }
  std::string message;
  closeOnEnd_ = !reservations_->IsOpen();
  if (closeOnEnd_) {
    const StoreResult r = reservations_->Open(program_, message);
    if (r == StoreResult::Busy) {
      status_.AddStatusLine(StatusMessage{kMsgJobBusy, {message}});
      return false;
    }
    if (r != StoreResult::Ok) {
      status_.AddStatusLine(StatusMessage{kMsgProgressUnreadable, {message}});
      return false;
    }
  }
  jobDepth_ = 1;
  std::vector<Reservation> list;
  JobProgress fresh;
  if (!reservations_->ListReservations(list, message) || (write && !reservations_->ReadProgress(fresh, message))) {
    status_.AddStatusLine(StatusMessage{kMsgProgressUnreadable, {message}});
    EndJob();
    return false;
  }
  // What a run that died left: its tag has a record when the protocol shows it, else it is spent.
  spent_.clear();
  for (const Reservation& r : list) {
    if (r.state == ReservationState::Spent) {
      spent_.push_back(r);
      ReportSpent(r);
    } else if (!InWriteProtocol(r)) {
      Spend(r);
    } else if (reservations_->Complete(r, true)) {
      // Its tag may still rest on the antenna: it is not written again.
      state_.lastUid = ParseProtocolUid(r.uid);
      status_.AddStatusLine(StatusMessage{kMsgReservationRecorded, {r.taken.value, r.uid}});
    } else {
      StoreFailed();
      EndJob();
      return false;
    }
  }
  if (!write) return true;
  if (reservations_->ValuesUsedUp()) {
    status_.AddStatusLine(StatusMessage{kMsgValuesUsedUp, {}});
    EndJob();
    return false;
  }

  // The operator's fields win over the store only where the operator changed them.
  const bool operatorChanged = !(ProgressOf(job_) == known_);
  if (!operatorChanged && !(fresh == known_)) {
    ApplyProgress(job_, fresh);
    dataImport_.Close();  // reopened below at the stored position
    view_.ShowFields();
  }
  bool importOk = true;
  if (job_.importData && !job_.autoIncrement && !dataImport_.IsOpen() && !job_.importFile.empty())
    importOk = OpenImportFile(job_.importLinesUsed);
  MakeValueCanonical(job_, view_);
  const JobProgress mine = ProgressOf(job_);
  // A data file that cannot be opened (or is used up) stays in the store as it is.
  if (importOk && !(mine == fresh) && !reservations_->SetProgress(mine)) {
    StoreFailed();
    EndJob();
    return false;
  }
  known_ = mine;
  return true;
}

void JobEngine::EndJob() {
  if (jobDepth_ == 0 || --jobDepth_ > 0) return;
  if (pending_) {
    Spend(*pending_);
    pending_.reset();
  }
  if (closeOnEnd_ && reservations_ != nullptr) {
    if (!reservations_->Close()) status_.AddStatusLine(StatusMessage{kMsgProgressNotSaved, {}});
  }
  closeOnEnd_ = false;
}

bool JobEngine::StoreChangedProgress() {
  if (reservations_ == nullptr || ProgressOf(job_) == known_) return true;
  std::string message;
  const bool opened = !reservations_->IsOpen();
  if (opened && reservations_->Open(program_, message) != StoreResult::Ok) return false;
  const bool ok = reservations_->SetProgress(ProgressOf(job_));
  if (ok) known_ = ProgressOf(job_);
  if (opened && !reservations_->Close()) return false;
  return ok;
}

}  // namespace tw
