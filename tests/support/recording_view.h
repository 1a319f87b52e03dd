// A job view that records every call, for tests of the job logic: status lines as messages and as
// formatted text, lamps, beeps, the value shown, focus, and the layout and enabling calls.
#pragma once
#include <string>
#include <vector>

#include "job/job_view.h"
#include "job/type_layout.h"

namespace tw {

class RecordingView : public IJobView {
 public:
  void AddStatusLine(const StatusMessage& msg) override;
  void SetLamps(LampState state) override;
  void ShowLampPanel(bool on) override;
  void EnableJobControls(bool on) override;
  void Beep(int freqHz, int ms) override;
  void ShowValue(const std::string& text) override;
  void SetFocus(JobControl control) override;
  void ShowTypeLayout(const TypeLayout& layout) override;
  void SetCycleButton(CycleButton button, bool checked) override;
  void EnableCycleButton(CycleButton button, bool enabled) override;
  bool LoadControls() override;
  void ShowFields() override;

  // Forget everything recorded (the settable answers stay).
  void Clear();

  struct BeepCall {
    int freqHz;
    int ms;
    bool operator==(const BeepCall&) const = default;
  };

  std::vector<StatusMessage> messages;  // every status line, in order
  std::vector<std::string> lines;       // the same lines formatted in the current language
  std::vector<LampState> lamps;
  std::vector<bool> lampPanel;
  std::vector<bool> enableCalls;
  std::vector<BeepCall> beeps;
  std::vector<std::string> values;  // every ShowValue text
  std::vector<JobControl> focus;
  std::vector<TypeLayout> layouts;
  bool writeCycleChecked = false;
  bool readCycleChecked = false;
  bool writeCycleEnabled = true;
  bool readCycleEnabled = true;
  int loadCount = 0;
  int showCount = 0;

  bool loadResult = true;  // what LoadControls answers
};

}  // namespace tw
