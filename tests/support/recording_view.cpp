#include "tests/support/recording_view.h"

namespace tw {

void RecordingView::AddStatusLine(const StatusMessage& msg) {
  messages.push_back(msg);
  lines.push_back(FormatStatusMessage(msg));
}
void RecordingView::SetLamps(LampState state) { lamps.push_back(state); }
void RecordingView::ShowLampPanel(bool on) { lampPanel.push_back(on); }
void RecordingView::EnableJobControls(bool on) { enableCalls.push_back(on); }
void RecordingView::Beep(int freqHz, int ms) { beeps.push_back({freqHz, ms}); }
void RecordingView::ShowValue(const std::string& text) { values.push_back(text); }
void RecordingView::SetFocus(JobControl control) { focus.push_back(control); }
void RecordingView::ShowTypeLayout(const TypeLayout& layout) { layouts.push_back(layout); }

void RecordingView::SetCycleButton(CycleButton button, bool checked) {
  (button == CycleButton::Write ? writeCycleChecked : readCycleChecked) = checked;
}
void RecordingView::EnableCycleButton(CycleButton button, bool enabled) {
  (button == CycleButton::Write ? writeCycleEnabled : readCycleEnabled) = enabled;
}

bool RecordingView::LoadControls() {
  ++loadCount;
  return loadResult;
}
void RecordingView::ShowFields() { ++showCount; }

void RecordingView::Clear() {
  messages.clear();
  lines.clear();
  lamps.clear();
  lampPanel.clear();
  enableCalls.clear();
  beeps.clear();
  values.clear();
  focus.clear();
  layouts.clear();
  loadCount = 0;
  showCount = 0;
}

}  // namespace tw
