#include "transport/hid_library.h"

#include <atomic>
#include <mutex>

namespace tw {

namespace {

std::mutex gLoadLock;
HidEntryPoints gEntries;
std::atomic<bool> gUsable{false};
std::atomic<bool> gAttempted{false};  // a load was tried (the SDK's start-up, or a first use)

void FreeLocked() {
  const HidEntryPoints old = gEntries;
  const bool wasUsable = gUsable;
  gUsable = false;
  gEntries = HidEntryPoints{};
  FreeHidBackend(old, wasUsable);
}

bool LoadLocked() {
  gAttempted = true;
  FreeLocked();
  HidEntryPoints e;
  const bool usable = LoadHidBackend(e);
  gEntries = e;
  gUsable = usable;  // only after the entry points are in place
  return usable;
}

}  // namespace

bool LoadHidLibraries() {
  std::lock_guard<std::mutex> lock(gLoadLock);
  return LoadLocked();
}

void FreeHidLibraries() {
  std::lock_guard<std::mutex> lock(gLoadLock);
  FreeLocked();
}

bool HidUsable() {
  // Listing may run before anything started the SDK: load on that first use, never after a free.
  if (!gAttempted) {
    std::lock_guard<std::mutex> lock(gLoadLock);
    if (!gAttempted) LoadLocked();
  }
  return gUsable;
}

const HidEntryPoints& Hid() { return gEntries; }

}  // namespace tw
