#include "transport/hid_library.h"

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <string>

#include "platform/dynlib.h"
#include "platform/trace.h"
#include "transport/hid_timed_writer.h"
#include "transport/vendor_libs.h"

namespace tw {

namespace {

std::mutex gLoadLock;
DynamicLibrary* gLibrary = nullptr;  // leaked on purpose when a stuck write still needs it
HidEntryPoints gEntries;
std::atomic<bool> gUsable{false};
std::atomic<bool> gAttempted{false};  // a load was tried (the SDK's start-up, or a first use)

std::string LibraryName() {
  const char* env = std::getenv(kHidapiLibEnv);
  return (env && *env) ? env : DefaultHidapiLibrary();
}

template <typename Fn>
void Resolve(const DynamicLibrary& lib, const char* name, Fn& slot, bool required) {
  slot = lib.Get<Fn>(name);
  if (!slot && required) Trace("Fehler: Kann %s nicht initialisieren", name);
}

void FreeLocked() {
  const HidEntryPoints old = gEntries;
  const bool wasUsable = gUsable;
  gUsable = false;
  gEntries = HidEntryPoints{};
  if (!gLibrary) return;
  // A write the device never finished still runs inside the library; unloading it now would pull
  // the code from under that thread, so the library stays mapped instead.
  if (!CHidTimedWriter::WaitForAbandonedWrites(1000)) {
    gLibrary = nullptr;
    return;
  }
  if (wasUsable && old.exit) old.exit();
  delete gLibrary;
  gLibrary = nullptr;
}

bool LoadLocked() {
  gAttempted = true;
  FreeLocked();
  const std::string name = LibraryName();
  auto* lib = new DynamicLibrary;
  if (!lib->Load(name)) {
    Trace("Fehler: Kann %s nicht laden", name.c_str());
    delete lib;
    return false;
  }
  gLibrary = lib;
  HidEntryPoints e;
  Resolve(*lib, "hid_enumerate", e.enumerate, true);
  Resolve(*lib, "hid_free_enumeration", e.freeEnumeration, true);
  Resolve(*lib, "hid_open_path", e.openPath, true);
  Resolve(*lib, "hid_write", e.write, true);
  Resolve(*lib, "hid_read_timeout", e.readTimeout, true);
  Resolve(*lib, "hid_close", e.close, true);
  Resolve(*lib, "hid_init", e.init, false);
  Resolve(*lib, "hid_exit", e.exit, false);
  Resolve(*lib, "hid_error", e.error, false);
  Resolve(*lib, "hid_get_report_descriptor", e.getReportDescriptor, false);
  bool usable = e.enumerate && e.freeEnumeration && e.openPath && e.write && e.readTimeout && e.close;
  if (usable && e.init && e.init() != 0) {
    Trace("Fehler: hid_init");
    usable = false;
  }
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
