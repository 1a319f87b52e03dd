// What the job engine shows and asks of its front end: status lines by string id, lamps, beep, value
// field, focus, control enabling. The desktop dialog implements it with widgets, the command-line tool
// with terminal output, the tests with a recording view. Texts are looked up by id at the view, never here.
#pragma once
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace tw {

// One printf argument of a status message: %d/%u/%x take an integer, %s a Windows-1252 text.
using StatusArg = std::variant<int64_t, std::string>;

// A status box line given by string id and its printf arguments.
struct StatusMessage {
  int id = 0;
  std::vector<StatusArg> args;
  bool operator==(const StatusMessage&) const = default;
};

// The string-table text of msg.id in the current language, formatted with msg.args. Each conversion
// takes the next argument; a missing or mismatched argument formats as 0 or as empty text, so a bad
// table entry can never read beyond the arguments.
std::string FormatStatusMessage(const StatusMessage& msg);

enum class LampState { Red, Yellow, Green };

// Controls the job can put the focus on (an edit gets its whole text selected by the view).
enum class JobControl {
  TypeCombo,
  StartBlock,
  ByteCount,
  Value,
  Password,
  TagPassword,
  AuthKey,
  ReadProtectFirst,
  ReadProtectLast,
  WriteProtectFirst,
  WriteProtectLast,
  AutoreadFirst,
  AutoreadLast,
};

// The two "Zyklisch" push buttons.
enum class CycleButton { Write, Read };

struct TypeLayout;  // job/type_layout.h

class IJobView {
 public:
  virtual ~IJobView() = default;

  // Append a line to the status box; always shown. The view formats it (FormatStatusMessage) and
  // empties a box holding more than 1000 lines first. Repeat suppression is decided before this call
  // (StatusReporter), never by the view.
  virtual void AddStatusLine(const StatusMessage& msg) = 0;

  virtual void SetLamps(LampState state) = 0;
  virtual void ShowLampPanel(bool on) = 0;
  // Enables or disables the job's controls; on = true also hides the lamp panel. The view reads
  // numberFormat and importData of the job it shows for the dependent controls.
  virtual void EnableJobControls(bool on) = 0;
  // Tone of freqHz for ms milliseconds without blocking; ms = 0 is silent.
  virtual void Beep(int freqHz, int ms) = 0;
  // The value edit shows text (Windows-1252); an empty text empties it.
  virtual void ShowValue(const std::string& text) = 0;
  virtual void SetFocus(JobControl control) = 0;

  // Shows or hides the configuration controls, sets the password labels and the value character
  // limit, and unchecks "Zusatztext zulassen" when layout says so (see ApplyTypeLayout).
  virtual void ShowTypeLayout(const TypeLayout& layout) = 0;
  // Check state and enabling of a "Zyklisch" button.
  virtual void SetCycleButton(CycleButton button, bool checked) = 0;
  virtual void EnableCycleButton(CycleButton button, bool enabled) = 0;

  // Data exchange between controls and the job fields. LoadControls returns false when a control
  // holds text that is not a number (the view has then told the operator).
  virtual bool LoadControls() = 0;
  virtual void ShowFields() = 0;
};

// Status reporting with the repeat suppression of the cycles: inside the timer handler a message by
// id that repeats the previous one is dropped. The engine owns one and sets inTimer around a tick.
class StatusReporter {
 public:
  explicit StatusReporter(IJobView& view) : view_(view) {}

  // Always shown (formatted messages such as 181, 187, 32850).
  void AddStatusLine(const StatusMessage& msg) { view_.AddStatusLine(msg); }
  // Suppressed while inTimer is set and id equals lastStatusId. Returns whether it was shown.
  bool AddStatusMessage(int id);

  IJobView& View() { return view_; }

  uint8_t inTimer = 0;   // set while the timer handler runs
  int lastStatusId = 0;  // id of the last message shown inside the timer handler

 private:
  IJobView& view_;
};

}  // namespace tw
