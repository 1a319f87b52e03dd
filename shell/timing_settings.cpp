#include "shell/timing_settings.h"

#include "shell/settings_keys.h"
#include "shell/string_table.h"

namespace tw {

TimingSettings LoadTimingSettings(ISettingsView& store) {
  TimingSettings t;
  int cycle = store.GetProfileInt(settings::kSettings, settings::kZyklusZeit, -1);
  int beep = store.GetProfileInt(settings::kSettings, settings::kBeepTime, -1);
  if (cycle == -1) {
    cycle = static_cast<int>(kCycleTimeDefault);
    store.WriteProfileInt(settings::kSettings, settings::kZyklusZeit, cycle);
  }
  if (beep == -1) {
    beep = static_cast<int>(kBeepTimeDefault);
    store.WriteProfileInt(settings::kSettings, settings::kBeepTime, beep);
  }
  // A value edited by hand outside the dialog's range reads as the nearest bound: a cycle of 0 would
  // make the timers tick as fast as they can. The store keeps what it holds.
  auto clamp = [](int v, unsigned min, unsigned max) {
    return v < static_cast<int>(min) ? min : static_cast<unsigned>(v) > max ? max : static_cast<unsigned>(v);
  };
  t.cycleTime = clamp(cycle, kCycleTimeMin, kCycleTimeMax);
  t.beepTime = clamp(beep, kBeepTimeMin, kBeepTimeMax);
  return t;
}

bool SaveTimingSettings(ISettingsStore& store, const TimingSettings& t) {
  return store.Transaction([&](ISettingsView& v) {
    v.WriteProfileInt(settings::kSettings, settings::kZyklusZeit, static_cast<int>(t.cycleTime));
    v.WriteProfileInt(settings::kSettings, settings::kBeepTime, static_cast<int>(t.beepTime));
  });
}

int CheckTimingField(const std::string& text, unsigned min, unsigned max, unsigned& value) {
  // Surrounding blanks are allowed, as the dialog's number reading allows them; nothing else.
  size_t i = text.find_first_not_of(" \t");
  size_t e = text.find_last_not_of(" \t");
  if (i == std::string::npos) return IDS_NOT_UNSIGNED_MESSAGE;
  unsigned long long n = 0;
  for (size_t k = i; k <= e; ++k) {
    if (text[k] < '0' || text[k] > '9') return IDS_NOT_UNSIGNED_MESSAGE;
    n = n * 10 + static_cast<unsigned>(text[k] - '0');
    if (n > 0xFFFFFFFFull) return IDS_NOT_UNSIGNED_MESSAGE;
  }
  if (n < min || n > max) return IDS_RANGE_MESSAGE;
  value = static_cast<unsigned>(n);
  return 0;
}

std::string FormatRangeMessage(unsigned min, unsigned max) {
  std::string s = LoadString(IDS_RANGE_MESSAGE);
  auto replace = [&s](const std::string& key, unsigned v) {
    size_t p = s.find(key);
    if (p != std::string::npos) s.replace(p, key.size(), std::to_string(v));
  };
  replace("%1", min);
  replace("%2", max);
  return s;
}

}  // namespace tw
