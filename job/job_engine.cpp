#include "job/job_engine.h"

#include "job/job_checks.h"
#include "job/job_engine_sdk.h"
#include "job/write_cycle.h"
#include "shell/protocol_file.h"
#include "shell/settings_keys.h"
#include "shell/settings_store.h"

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
}

void JobEngine::StopWriteTimer() {
  if (state_.writeTimerId == 0) return;
  timers_.KillTimer(state_.writeTimerId);
  state_.writeTimerId = 0;
  view_.SetCycleButton(CycleButton::Write, false);
  // Inside a step the flag stays on until the step has finished (OnTimer turns it off).
  if (!status_.inTimer) sdk_.SetKeepUiEnabled(state_.portHandle, 0);
}

void JobEngine::StopReadTimer() {
  if (state_.readTimerId == 0) return;
  timers_.KillTimer(state_.readTimerId);
  state_.readTimerId = 0;
  view_.SetCycleButton(CycleButton::Read, false);
  if (!status_.inTimer) sdk_.SetKeepUiEnabled(state_.portHandle, 0);
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

void JobEngine::LogLine(const std::string& path) {
  ProtocolLineInput in;
  in.uid = state_.currentUid;
  in.numberFormat = job_.numberFormat;
  in.display = job_.display;
  in.orientation = job_.orientation;
  in.startBlock = job_.startBlock;
  in.byteCount = job_.byteCount;
  in.valueText = job_.valueText;
  if (!WriteProtocolLine(path, in))
    status_.AddStatusLine(StatusMessage{kMsgProtocolNotWritten, {path}});
}

void JobEngine::SaveProgress() {
  if (!store_) return;
  const std::string value = job_.valueText;
  const std::string file = job_.importFile;
  const int linesUsed = job_.importLinesUsed;
  const bool importing = job_.importData != 0;
  const bool saved = store_->Transaction([&](ISettingsView& s) {
    s.WriteProfileString(settings::kSettings, settings::kWert, value);
    if (importing) {
      s.WriteProfileInt(settings::kSettings, settings::kDatenLinesUsed, linesUsed);
      s.WriteProfileString(settings::kSettings, settings::kDatenFile, file);
    }
  });
  if (saved) return;
  // Without the stored position a restart would write this value again: stop rather than risk it.
  status_.AddStatusLine(StatusMessage{kMsgProgressNotSaved, {}});
  StopCycles();
}

}  // namespace tw
