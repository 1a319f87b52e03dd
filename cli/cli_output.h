// What tagwright-cli prints: one line per tag written or read on standard output, status lines of
// the job and errors on standard error, or everything as JSON lines on standard output with --json.
// Texts come from the string tables as Windows-1252 and leave the program as UTF-8.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "job/job_view.h"

namespace tw::cli {

class CliOutput {
 public:
  explicit CliOutput(bool json) : json_(json) {}
  bool Json() const { return json_; }

  // A tag written ("write") or read ("read"), with the running count; value is Windows-1252.
  void Tag(const char* op, long count, const std::string& value, const std::string& uid);
  // A status line of the job (string id and its text).
  void Status(int id, const std::string& text);
  // The end of a run: what was done, how many tags, the exit code and why.
  void End(const char* op, long count, int exitCode, const std::string& reason);
  // An error that ends the program; text is Windows-1252 (ids) or ASCII (argument errors).
  void Error(int exitCode, const std::string& text);
  // A plain informational line (human: stdout; JSON: {"event":"info"}).
  void Info(const std::string& text);
  // One JSON object of text fields (job show, identify, ports); fields as Windows-1252 text.
  void Object(const char* event, const std::vector<std::pair<std::string, std::string>>& fields);
  // Rows of Windows-1252 text fields: a header line and one line per row, columns aligned
  // (plain form; JSON callers print objects instead).
  void Table(const std::vector<std::string>& header, const std::vector<std::vector<std::string>>& rows);

 private:
  bool json_;
};

// JSON string literal of a UTF-8 text, quotes included.
std::string JsonQuote(const std::string& utf8);

// The job view of the command-line tool: status lines go to the output (the success line of a write
// is turned into a tag line by the runner instead), everything visual is left out. It remembers
// what the current step reported so that the runner can tell how the step ended.
class CliView : public IJobView {
 public:
  explicit CliView(CliOutput& out) : out_(out) {}

  void AddStatusLine(const StatusMessage& msg) override;
  void SetLamps(LampState) override {}
  void ShowLampPanel(bool) override {}
  void EnableJobControls(bool) override {}
  void Beep(int, int) override {}
  void ShowValue(const std::string&) override {}
  void SetFocus(JobControl) override {}
  void ShowTypeLayout(const TypeLayout&) override {}
  void SetCycleButton(CycleButton, bool) override {}
  void EnableCycleButton(CycleButton, bool) override {}
  // The job fields are the controls here: nothing to load or show.
  bool LoadControls() override { return true; }
  void ShowFields() override {}

  // Forget what the last step reported.
  void BeginStep() {
    ids.clear();
    writtenValue.clear();
    written = false;
  }
  bool Reported(int id) const;

  std::vector<int> ids;      // status ids of the current step
  bool written = false;      // the step reported a successful write
  std::string writtenValue;  // the value it wrote (Windows-1252)

 private:
  CliOutput& out_;
};

}  // namespace tw::cli
