// Which configuration controls each transponder type shows, as data, so that the desktop dialog and
// the command-line tool decide alike; and ApplyTypeLayout, which applies it to a view.
#pragma once
#include <string>

#include "job/job_params.h"

namespace tw {

class IJobView;

enum class Visibility { Hidden, Shown, IfPasswordActive, IfAuthMode };

// One row of the per-type visibility table. "Verwendete Blöcke sperren" is always shown.
struct TypeLayoutRow {
  int code;
  Visibility passwordActive;    // check box "Passwort aktiv"
  Visibility readWithPassword;  // check box "Lesen mit Passwort"
  Visibility password;          // label and edit "Passwort:"
  Visibility tagPassword;       // label and edit "Tag Passwort:"
  Visibility modulation;        // label and combo "Modulation:"
  Visibility authMode;          // check box "Authentication Mode"
  Visibility authKey;           // label and edit "Key:"
  Visibility em4450Ranges;      // the six range edits with labels and dashes, and "Read after Write"
};

// The row of code, or nullptr when the code is not offered (then everything is hidden).
const TypeLayoutRow* FindTypeLayoutRow(int code);

// The table resolved for one job.
struct TypeLayout {
  bool passwordActive = false;
  bool readWithPassword = false;
  bool password = false;
  bool tagPassword = false;
  bool modulation = false;
  bool authMode = false;
  bool authKey = false;
  bool em4450Ranges = false;
  bool lockUsedBlocks = true;
  int passwordLabelId = 245;     // "Passwort:" or, for SIC7888, 247 "Passwort Write:"
  int tagPasswordLabelId = 244;  // "Tag Passwort:" or, for SIC7888, 246 "Passwort Read:"
  int valueCharLimit = 0;
  bool clearAllowExtraText = false;  // binary display: "Zusatztext zulassen" is unchecked
  bool operator==(const TypeLayout&) const = default;
};

TypeLayout ComputeTypeLayout(const JobParams& job);

// The layout step after a type, password, auth, byte count, format or display change: clears
// allowExtraText for binary display, enables the job controls (hiding the lamp panel) and shows the
// computed layout.
void ApplyTypeLayout(JobParams& job, IJobView& view);

}  // namespace tw
