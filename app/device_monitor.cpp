#include "app/device_monitor.h"

#include <unistd.h>

#include <cstring>

#include "platform/dynlib.h"
#include "platform/trace.h"

namespace tw {

// libudev is loaded at run time: a system without it simply gets no device notices.
struct DeviceMonitor::Impl {
  using NewFn = void* (*)();
  using UnrefFn = void* (*)(void*);
  using MonNewFn = void* (*)(void*, const char*);
  using FilterFn = int (*)(void*, const char*, const char*);
  using EnableFn = int (*)(void*);
  using FdFn = int (*)(void*);
  using RecvFn = void* (*)(void*);
  using ActionFn = const char* (*)(void*);

  DynamicLibrary lib;
  void* udev = nullptr;
  void* monitor = nullptr;
  int fd = -1;
  UnrefFn udevUnref = nullptr, monitorUnref = nullptr, deviceUnref = nullptr;
  RecvFn receive = nullptr;
  ActionFn action = nullptr;
};

DeviceMonitor::DeviceMonitor() : impl_(std::make_unique<Impl>()) {}
DeviceMonitor::~DeviceMonitor() { Stop(); }

bool DeviceMonitor::Start() {
  Stop();
  Impl& m = *impl_;
  if (!m.lib.IsLoaded() && !m.lib.Load("libudev.so.1:libudev.so")) return false;
  auto udevNew = m.lib.Get<Impl::NewFn>("udev_new");
  auto monNew = m.lib.Get<Impl::MonNewFn>("udev_monitor_new_from_netlink");
  auto filter = m.lib.Get<Impl::FilterFn>("udev_monitor_filter_add_match_subsystem_devtype");
  auto enable = m.lib.Get<Impl::EnableFn>("udev_monitor_enable_receiving");
  auto getFd = m.lib.Get<Impl::FdFn>("udev_monitor_get_fd");
  m.udevUnref = m.lib.Get<Impl::UnrefFn>("udev_unref");
  m.monitorUnref = m.lib.Get<Impl::UnrefFn>("udev_monitor_unref");
  m.deviceUnref = m.lib.Get<Impl::UnrefFn>("udev_device_unref");
  m.receive = m.lib.Get<Impl::RecvFn>("udev_monitor_receive_device");
  m.action = m.lib.Get<Impl::ActionFn>("udev_device_get_action");
  if (!udevNew || !monNew || !filter || !enable || !getFd || !m.udevUnref || !m.monitorUnref ||
      !m.deviceUnref || !m.receive || !m.action)
    return false;
  m.udev = udevNew();
  if (!m.udev) return false;
  // The "udev" source only delivers once udevd has processed an event; without udevd running
  // nothing would ever arrive, so the kernel's own events are used then.
  const bool udevd = access("/run/udev/control", F_OK) == 0;
  m.monitor = monNew(m.udev, udevd ? "udev" : "kernel");
  if (!m.monitor) {
    Stop();
    return false;
  }
  for (const char* subsystem : {"tty", "hidraw", "usb"}) filter(m.monitor, subsystem, nullptr);
  if (enable(m.monitor) < 0) {
    Stop();
    return false;
  }
  m.fd = getFd(m.monitor);
  if (m.fd < 0) {
    Stop();
    return false;
  }
  Trace("device monitor listening on fd %d", m.fd);
  return true;
}

void DeviceMonitor::Stop() {
  Impl& m = *impl_;
  if (m.monitor && m.monitorUnref) m.monitorUnref(m.monitor);
  if (m.udev && m.udevUnref) m.udevUnref(m.udev);
  m.monitor = nullptr;
  m.udev = nullptr;
  m.fd = -1;
}

int DeviceMonitor::Fd() const { return impl_->fd; }

DeviceEvent DeviceMonitor::ReadEvent() {
  Impl& m = *impl_;
  if (!m.monitor) return DeviceEvent::Other;
  void* dev = m.receive(m.monitor);
  if (!dev) return DeviceEvent::Other;
  const char* action = m.action(dev);
  const DeviceEvent e =
      action && std::strcmp(action, "add") == 0 ? DeviceEvent::Arrival : DeviceEvent::NodesChanged;
  m.deviceUnref(dev);
  return e;
}

}  // namespace tw
