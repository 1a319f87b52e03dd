// HID through hidapi (its hidraw build), loaded at run time.
#include <cstdlib>
#include <string>

#include "platform/dynlib.h"
#include "platform/trace.h"
#include "transport/hid_library.h"
#include "transport/hid_timed_writer.h"

namespace tw {

namespace {

DynamicLibrary* gLibrary = nullptr;  // leaked on purpose when a stuck write still needs it

std::string LibraryName() {
  const char* env = std::getenv(kHidapiLibEnv);
  return (env && *env) ? env : "libhidapi-hidraw.so.0";
}

template <typename Fn>
void Resolve(const DynamicLibrary& lib, const char* name, Fn& slot, bool required) {
  slot = lib.Get<Fn>(name);
  if (!slot && required) Trace("Fehler: Kann %s nicht initialisieren", name);
}

}  // namespace

void FreeHidBackend(const HidEntryPoints& old, bool wasUsable) {
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

bool LoadHidBackend(HidEntryPoints& e) {
  const std::string name = LibraryName();
  auto* lib = new DynamicLibrary;
  if (!lib->Load(name)) {
    Trace("Fehler: Kann %s nicht laden", name.c_str());
    delete lib;
    return false;
  }
  gLibrary = lib;
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
  return usable;
}

}  // namespace tw
