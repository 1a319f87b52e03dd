#include "job/read_cycle.h"

#include <algorithm>
#include <string>

#include "job/job_checks.h"
#include "job/job_engine.h"
#include "job/job_engine_sdk.h"
#include "job/tag_step.h"
#include "job/value_encoding.h"

namespace tw {

int ReadRequestSize(int byteCount) {
  if (byteCount <= 0) return 0;
  if (byteCount > kMaxValueBytes) byteCount = kMaxValueBytes;
  return (byteCount + 3) / 4 * 4;
}

bool JobEngine::ReadStep(bool skipSame) {
  if (!TagStep(ctx_, false, skipSame)) {
    // The tag just read is still in the field: keep showing its value.
    if (state_.sameTag) {
      view_.ShowValue(job_.valueText);
      return true;
    }
    view_.ShowValue(std::string());
    return false;
  }
  const int size = ReadRequestSize(job_.byteCount);
  CMyByteArray bytes;
  if (sdk_.ReadBlocks(state_.portHandle, job_.transponderType, job_.startBlock, bytes, size) ==
      -1) {
    AddSdkErrorMessage(ctx_);
    view_.ShowValue(std::string());
    return false;
  }
  bytes.resize(static_cast<size_t>(std::min(job_.byteCount, size)), 0);
  job_.valueText = DecodeValue(bytes, job_);
  // A value read is no value the operator chose: it is never stored as the job's next value.
  known_.value = job_.valueText;
  view_.ShowValue(job_.valueText);
  state_.lastUid = state_.currentUid;
  status_.lastStatusId = 0;
  if (job_.logReads) LogLine(job_.readLogFile, job_.valueText);
  return true;
}

void JobEngine::OnReadSingle() {
  if (!view_.LoadControls()) return;
  if (!ValidateReadJob(job_, status_) || !BeginJob(false)) return;
  ReadStep(false);
  EndJob();
}

void JobEngine::OnReadCyclic() {
  if (state_.readTimerId != 0) {
    StopReadTimer();
    view_.EnableJobControls(true);
    return;
  }
  if (!view_.LoadControls() || !ValidateReadJob(job_, status_) || !BeginJob(false)) {
    view_.SetCycleButton(CycleButton::Read, false);
    return;
  }
  sdk_.SetKeepUiEnabled(state_.portHandle, 1);
  state_.readTimerId = timers_.StartTimer(kReadTimerId, job_.cycleTime);
  if (state_.readTimerId == 0) {
    sdk_.SetKeepUiEnabled(state_.portHandle, 0);
    EndJob();
    view_.SetCycleButton(CycleButton::Read, false);
    return;
  }
  view_.SetCycleButton(CycleButton::Read, true);
  status_.lastStatusId = 0;
  state_.lastUid.clear();
  job_.valueText.clear();  // the value edit keeps its text until the first read
  known_.value.clear();
  view_.EnableJobControls(false);
  view_.EnableCycleButton(CycleButton::Read, true);
}

}  // namespace tw
