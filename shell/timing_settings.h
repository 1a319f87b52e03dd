// The two stored timings of the job: success beep length and cycle period, with the first-start
// rule that fills in missing values, and the range checks of the timing dialog.
#pragma once
#include <string>

#include "shell/settings_store.h"

namespace tw {

struct TimingSettings {
  unsigned cycleTime = 250;  // ms, period of the cyclic write and read timers
  unsigned beepTime = 300;   // ms, 0 = no beep
};

inline constexpr unsigned kCycleTimeMin = 100, kCycleTimeMax = 10000, kCycleTimeDefault = 250;
inline constexpr unsigned kBeepTimeMin = 0, kBeepTimeMax = 1000, kBeepTimeDefault = 300;

// String ids of the input check messages.
enum TimingStringId {
  IDS_RANGE_MESSAGE = 61714,         // "Geben Sie eine ganze Zahl zwischen %1 und %2 ein."
  IDS_NOT_UNSIGNED_MESSAGE = 61719,  // "Geben Sie eine positive ganze Zahl ein."
};

// Settings\ZyklusZeit and Settings\BeepTime read with default -1; a value that reads as -1 is
// replaced by 250 / 300 and that value written to the store at once. Any other value outside its
// range reads as the nearest bound.
TimingSettings LoadTimingSettings(ISettingsView& store);
// Writes both values (the dialog's OK), in one transaction. True when stored.
bool SaveTimingSettings(ISettingsStore& store, const TimingSettings& t);

// Checks an edit field's text as the dialog does: an unsigned decimal integer within [min, max].
// Returns 0 and sets value when it passes; otherwise the string id of the message to show
// (IDS_NOT_UNSIGNED_MESSAGE, or IDS_RANGE_MESSAGE; FormatRangeMessage fills in its bounds).
int CheckTimingField(const std::string& text, unsigned min, unsigned max, unsigned& value);
std::string FormatRangeMessage(unsigned min, unsigned max);

}  // namespace tw
