#include "job/write_cycle.h"

#include "job/configuration.h"
#include "job/job_checks.h"
#include "job/job_engine.h"
#include "job/job_engine_sdk.h"
#include "job/tag_step.h"
#include "job/value_encoding.h"
#include "platform/ui_hooks.h"

namespace tw {

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

bool JobEngine::WriteStep(bool skipSame) {
  if (!TagStep(ctx_, true, skipSame)) return false;
  view_.SetLamps(LampState::Yellow);

  CMyByteArray bytes;
  if (!EncodeValue(job_.valueText, job_, bytes, &status_)) {
    view_.SetLamps(LampState::Red);
    return false;
  }
  if (job_.transponderType == kTypeEm4450 && !Em4450ClearWriteProtection(ctx_)) {
    view_.SetLamps(LampState::Red);
    return false;
  }

  BeginWaitCursor();
  PadToBlocks(bytes);
  if (sdk_.WriteBlocks(state_.portHandle, job_.transponderType, job_.startBlock, bytes,
                       job_.lockUsedBlocks ? 1 : 0) == -1) {
    AddSdkErrorMessage(ctx_);
    EndWaitCursor();
    view_.SetLamps(LampState::Red);
    return false;
  }
  EndWaitCursor();

  // A failed configuration has reported itself; the lamp stays yellow and nothing advances.
  if (!ApplyConfiguration(ctx_)) return false;

  // The tag must still be reachable with what was just configured; the write counts either way.
  // A configuration that left passwords, keys, modes and modulation alone needs no such check.
  if (state_.accessChanged && !TagStep(ctx_, false, false))
    status_.AddStatusMessage(kMsgNewCredentialsFailed);
  state_.lastUid = state_.currentUid;

  AdvanceValue(job_, view_, 0);
  if (job_.logWrites) LogLine(job_.writeLogFile);
  view_.SetLamps(LampState::Green);
  if (job_.beepTime > 0) view_.Beep(kBeepFrequencyHz, job_.beepTime);
  status_.AddStatusLine(StatusMessage{kMsgWriteDone, {job_.valueText}});
  status_.lastStatusId = 0;

  if (job_.autoIncrement) {
    AdvanceValue(job_, view_, 1);
  } else if (job_.importData) {
    if (!ReadNextImportLine()) StopCycles();
  }
  SaveProgress();
  return true;
}

void JobEngine::OnWriteSingle() {
  if (!view_.LoadControls()) return;
  if (!ValidateWriteJob(job_, status_) || !CheckDataOutsidePasswordBlocks(job_, status_)) return;
  if (WriteStep(false))
    view_.ShowFields();
  else
    status_.AddStatusMessage(kMsgNoValidTag);
}

void JobEngine::OnWriteCyclic() {
  if (state_.writeTimerId != 0) {
    StopWriteTimer();
    view_.EnableJobControls(true);
    return;
  }
  if (!view_.LoadControls() || !ValidateWriteJob(job_, status_) ||
      !CheckDataOutsidePasswordBlocks(job_, status_)) {
    view_.SetCycleButton(CycleButton::Write, false);
    return;
  }
  sdk_.SetKeepUiEnabled(state_.portHandle, 1);
  state_.writeTimerId = timers_.StartTimer(kWriteTimerId, job_.cycleTime);
  if (state_.writeTimerId == 0) {
    sdk_.SetKeepUiEnabled(state_.portHandle, 0);
    view_.SetCycleButton(CycleButton::Write, false);
    return;
  }
  view_.SetCycleButton(CycleButton::Write, true);
  state_.lastUid.clear();
  status_.lastStatusId = 0;
  view_.ShowLampPanel(true);
  view_.EnableJobControls(false);
  view_.EnableCycleButton(CycleButton::Write, true);
}

}  // namespace tw
