#include "job/write_cycle.h"

#include <algorithm>
#include <ctime>

#include "job/configuration.h"
#include "job/fault_point.h"
#include "job/job_checks.h"
#include "job/job_engine.h"
#include "job/job_engine_sdk.h"
#include "job/tag_step.h"
#include "job/value_encoding.h"
#include "platform/ui_hooks.h"
#include "shell/file_prims.h"
#include "shell/protocol_file.h"

namespace tw {
namespace {

// Local time as the protocol writes it; empty when unknown.
std::string TimeText(int64_t t) {
  char when[32] = "";
  const std::time_t tt = static_cast<std::time_t>(t);
  std::tm local{};
  if (t > 0 && LocalTime(tt, &local)) std::strftime(when, sizeof when, "%d.%m.%Y %H:%M:%S", &local);
  return when;
}

}  // namespace

bool Em4450ClearWriteProtection(JobContext& ctx) {
  const int h = ctx.state.portHandle;
  CMyByteArray word;
  if (ctx.sdk.ReadBlocks(h, kTypeEm4450, 1, word, 4) != 4 || word.size() != 4) return false;
  const int first = word[2];
  const int last = word[3];
  const int lastWritten = LastBlockWritten(ctx.job);
  if ((first != 0 || last != 0) && first <= last && ctx.job.startBlock <= last &&
      lastWritten >= first) {
    // Clears read and write protection alike; the configuration writes the job's ranges later.
    word.assign(4, 0);
    if (ctx.sdk.WriteBlocks(h, kTypeEm4450, 1, word, 0) != 0) return false;
  }
  ctx.state.knownBlocks[1] = word;  // the configuration need not rewrite a word that stays
  return true;
}

bool CheckDataOutsidePasswordBlocks(const JobParams& job, StatusReporter& status) {
  const bool passwordBlocks = (job.transponderType == kTypeSic7888 && job.passwordActive) ||
                              (job.transponderType == kTypeHitagS && job.authMode);
  if (!passwordBlocks || job.startBlock > 3 || LastBlockWritten(job) < 2) return true;
  status.AddStatusMessage(kMsgDataInPasswordBlocks);
  status.View().SetFocus(JobControl::StartBlock);
  return false;
}

void PadToBlocks(CMyByteArray& data) {
  while (data.size() % 4 != 0) data.push_back(0);
}

namespace {

// Whether the reader's answer to a write is known: it answered (success, or a status that refuses
// the command, in which case the tag does not hold the value whole), or the command never went out.
// A timeout, a damaged or empty answer and a lost link leave open whether the tag took the value.
bool CertainlyNotWritten(int error) {
  switch (error) {
    case 0: case 6: case 7: case 14: case 15: case 16:
      return false;
    default:
      return true;
  }
}

}  // namespace

JobProgress JobEngine::NextProgress(const JobProgress& taken) {
  JobProgress next = taken;
  if (job_.autoIncrement) {
    next.value = AdvanceValueText(taken.value, job_, 1);
  } else if (job_.importData) {
    // Past the last line the file stays named with its position beyond the end: it is used up,
    // and a run on the same file writes nothing again.
    std::string line;
    next.value = dataImport_.PeekNextLine(line) ? AdvanceValueText(line, job_, 0) : std::string();
    next.importLinesUsed = taken.importLinesUsed + 1;
  }
  return next;
}

void JobEngine::TakeNextValue() {
  if (job_.autoIncrement) {
    AdvanceValue(job_, view_, 1);
  } else if (job_.importData) {
    if (!ReadNextImportLine()) {
      StopCycles();
    } else if (job_.numberFormat != kFormatNone) {
      AdvanceValue(job_, view_, 0);
    }
  }
  known_ = ProgressOf(job_);
}

int JobEngine::ReadBack(const CMyByteArray& bytes) {
  const int size = static_cast<int>(bytes.size());
  CMyByteArray got;
  if (sdk_.ReadBlocks(state_.portHandle, job_.transponderType, job_.startBlock, got, size) == size &&
      got.size() == bytes.size())
    return got == bytes ? 1 : 0;
  return -1;
}

bool JobEngine::SettleReturningTag(const std::string& uid) {
  if (uid.empty()) return false;
  // The tag may have come back more than once without being settled: any of its spent values
  // may be the one it holds.
  for (auto it = spent_.begin(); it != spent_.end(); ++it) {
    if (it->uid != uid) continue;
    CMyByteArray bytes;
    if (!EncodeValue(it->taken.value, job_, bytes)) continue;
    PadToBlocks(bytes);
    const int back = ReadBack(bytes);
    if (back == -1) return false;
    if (back == 0) continue;
    const bool logged = job_.logWrites && LogLine(job_.writeLogFile, it->taken.value);
    if (job_.logWrites && !logged) {
      StopCycles();
      return true;
    }
    if (!reservations_->Complete(*it, logged)) {
      StoreFailed();
      return true;
    }
    status_.AddStatusLine(StatusMessage{kMsgReservationSettled, {it->taken.value, uid}});
    spent_.erase(it);
    state_.lastUid = state_.currentUid;
    return true;
  }
  return false;
}

bool JobEngine::WriteStep(bool skipSame) {
  // A step on its own (not inside a single write or a cycle) takes the job for itself.
  if (reservations_ != nullptr && jobDepth_ == 0) {
    if (!BeginJob()) return false;
    const bool written = WriteStepInJob(skipSame);
    EndJob();
    return written;
  }
  return WriteStepInJob(skipSame);
}

bool JobEngine::WriteStepInJob(bool skipSame) {
  if (!TagStep(ctx_, true, skipSame)) return false;
  const std::string uid = FormatProtocolUid(state_.currentUid);
  if (reservations_ != nullptr && SettleReturningTag(uid)) return false;
  view_.SetLamps(LampState::Yellow);

  // A tag that may already hold a reserved value gets that value again; any other tag means the
  // earlier one left without being settled.
  std::optional<Reservation> held;
  if (pending_ && pending_->uid == uid) {
    held = pending_;
  } else if (pending_) {
    Spend(*pending_);
    pending_.reset();
    if (reservations_ != nullptr && !reservations_->IsOpen()) return false;
  }
  std::string value = held ? held->taken.value : job_.valueText;

  CMyByteArray bytes;
  if (!EncodeValue(value, job_, bytes, &status_)) {
    view_.SetLamps(LampState::Red);
    return false;
  }
  if (job_.transponderType == kTypeEm4450 && !Em4450ClearWriteProtection(ctx_)) {
    view_.SetLamps(LampState::Red);
    return false;
  }
  PadToBlocks(bytes);

  // The value is taken for this tag, durably, before the tag can get it.
  Reservation r;
  JobProgress next;
  const bool reserving = reservations_ != nullptr && !held;
  if (held) {
    r = *held;
    pending_.reset();
  } else if (reserving) {
    const JobProgress taken = ProgressOf(job_);
    next = NextProgress(taken);
    StoreResult reserved;
    // The tag may hold a value another station could not check: settled here when it does.
    while ((reserved = reservations_->Reserve(taken, next, uid, r)) == StoreResult::Spent) {
      spent_.push_back(r);
      if (SettleReturningTag(uid)) return false;
    }
    if (reserved == StoreResult::Refused) {
      // Each tag once: this tag keeps what it has; the cycle waits for the next one.
      view_.SetLamps(LampState::Red);
      status_.AddStatusLine(StatusMessage{kMsgTagOnce, {uid, r.taken.value, r.owner, TimeText(r.time)}});
      state_.lastUid = state_.currentUid;
      return false;
    }
    if (reserved == StoreResult::UsedUp) {
      view_.SetLamps(LampState::Red);
      status_.AddStatusLine(StatusMessage{kMsgValuesUsedUp, {}});
      StopCycles();
      return false;
    }
    if (reserved != StoreResult::Ok) {
      view_.SetLamps(LampState::Red);
      StoreFailed();
      return false;
    }
    // A store shared by several stations hands out the value itself.
    if (r.taken.value != value) {
      value = r.taken.value;
      if (!ValueFits(value, job_) || !EncodeValue(value, job_, bytes, &status_)) {
        // Nobody can write this value: it goes back, and the job needs the operator.
        status_.AddStatusLine(StatusMessage{kMsgValueDoesNotFit, {value, int64_t{job_.byteCount}}});
        if (!reservations_->GiveBack(r)) StoreFailed();
        view_.SetLamps(LampState::Red);
        StopCycles();
        return false;
      }
      PadToBlocks(bytes);
    }
  }
  FaultPoint("reserved");

  BeginWaitCursor();
  const int written = sdk_.WriteBlocks(state_.portHandle, job_.transponderType, job_.startBlock, bytes,
                                       job_.lockUsedBlocks ? 1 : 0);
  FaultPoint("written");
  if (written == -1) {
    const int error = sdk_.GetLastError(state_.portHandle);
    AddSdkErrorMessage(ctx_);
    // A lost answer is settled by reading the tag while it is still in the field.
    const int back = CertainlyNotWritten(error) ? 0 : ReadBack(bytes);
    EndWaitCursor();
    if (back != 1) {
      view_.SetLamps(LampState::Red);
      const bool certain = CertainlyNotWritten(error);
      if (reserving && certain) {
        if (!reservations_->GiveBack(r)) StoreFailed();
      } else if (reserving || held) {
        // Holding something else or unreadable: this tag may still get the value; if it leaves
        // instead, the value is spent. (A held value may be on the tag from the earlier try.)
        pending_ = r;
        if (reserving) TakeNextValue();
      } else if (!certain) {
        TakeNextValue();  // without a store: at least never give this value to the next tag
      }
      return false;
    }
  } else {
    EndWaitCursor();
  }
  FaultPoint("answered");

  // The tag holds the value; a failed configuration leaves it for another try on this tag.
  if (!ApplyConfiguration(ctx_)) {
    if (reserving || held) pending_ = r;
    if (!held) TakeNextValue();
    return false;
  }
  FaultPoint("configured");

  // The tag must still be reachable with what was just configured; the write counts either way.
  // A configuration that left passwords, keys, modes and modulation alone needs no such check.
  if (state_.accessChanged && !TagStep(ctx_, false, false))
    status_.AddStatusMessage(kMsgNewCredentialsFailed);
  state_.lastUid = state_.currentUid;

  bool logged = false;
  if (job_.logWrites) {
    logged = LogLine(job_.writeLogFile, value);
    if (!logged) {
      // The tag holds the value without its record: never hand it out, report it, stop.
      if (reserving || held) Spend(r);
      if (!held) TakeNextValue();
      view_.SetLamps(LampState::Red);
      StopCycles();
      return false;
    }
  }
  FaultPoint("logged");
  // A store that cannot take the completion now leaves the reservation open: the next start
  // completes it from the protocol line, or reports it spent. The tag holds its value all the
  // same and counts as written; the cycle stops.
  const bool completed = !(reserving || held) || reservations_->Complete(r, logged);
  FaultPoint("completed");

  view_.SetLamps(LampState::Green);
  if (job_.beepTime > 0) view_.Beep(kBeepFrequencyHz, job_.beepTime);
  status_.AddStatusLine(StatusMessage{kMsgWriteDone, {value}});
  status_.lastStatusId = 0;
  if (!held) TakeNextValue();
  if (!completed) StoreFailed();
  return true;
}

void JobEngine::OnWriteSingle() {
  if (!view_.LoadControls()) return;
  if (!BeginJob()) return;
  if (ValidateWriteJob(job_, status_) && CheckDataOutsidePasswordBlocks(job_, status_)) {
    if (WriteStep(false))
      view_.ShowFields();
    else
      status_.AddStatusMessage(kMsgNoValidTag);
  }
  EndJob();
}

void JobEngine::OnWriteCyclic() {
  if (state_.writeTimerId != 0) {
    StopWriteTimer();
    view_.EnableJobControls(true);
    return;
  }
  // Cleared before the job is taken: a tag the run that died wrote may still rest on the antenna.
  state_.lastUid.clear();
  if (!view_.LoadControls() || !BeginJob()) {
    view_.SetCycleButton(CycleButton::Write, false);
    return;
  }
  if (!ValidateWriteJob(job_, status_) || !CheckDataOutsidePasswordBlocks(job_, status_)) {
    EndJob();
    view_.SetCycleButton(CycleButton::Write, false);
    return;
  }
  sdk_.SetKeepUiEnabled(state_.portHandle, 1);
  state_.writeTimerId = timers_.StartTimer(kWriteTimerId, job_.cycleTime);
  if (state_.writeTimerId == 0) {
    sdk_.SetKeepUiEnabled(state_.portHandle, 0);
    EndJob();
    view_.SetCycleButton(CycleButton::Write, false);
    return;
  }
  view_.SetCycleButton(CycleButton::Write, true);
  status_.lastStatusId = 0;
  view_.ShowLampPanel(true);
  view_.EnableJobControls(false);
  view_.EnableCycleButton(CycleButton::Write, true);
}

}  // namespace tw
