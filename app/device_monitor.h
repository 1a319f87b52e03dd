// Notice of serial, HID and USB devices coming and going, from udev's kernel-event monitor. The
// interface dialog watches Fd() and calls ReadEvent when it is readable. Without libudev or a
// udev monitor socket Start fails and the dialog relies on its refresh requests and timer.
#pragma once
#include <memory>

#include "app/port_settings.h"

namespace tw {

class DeviceMonitor {
 public:
  DeviceMonitor();
  ~DeviceMonitor();
  DeviceMonitor(const DeviceMonitor&) = delete;
  DeviceMonitor& operator=(const DeviceMonitor&) = delete;

  // Listens for tty, hidraw and usb events; false when that is not possible here.
  bool Start();
  void Stop();
  // Descriptor that becomes readable when an event waits; -1 when not started.
  int Fd() const;
  // Takes one waiting event: "add" is an arrival, everything else a change of the device nodes.
  // Other when nothing could be read.
  DeviceEvent ReadEvent();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tw
