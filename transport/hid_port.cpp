#include "transport/hid_port.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>

#include "platform/cp1252.h"
#include "platform/trace.h"
#include "transport/hid_report_descriptor.h"
#include "transport/hid_timed_writer.h"

namespace tw {

namespace {

struct AcceptedId {
  unsigned short vendor, product;
};
constexpr AcceptedId kAccepted[] = {
    {0x16C0, 0x2913}, {0x1C40, 0x05AB}, {0x1C40, 0x05AD}, {0x1C40, 0x05AE},
    {0x1C40, 0x05AF}, {0x1C40, 0x05B0}, {0x39C2, 0x1001},
};

// The serial number was read into 50 bytes of UTF-16: 24 characters and the terminator.
constexpr size_t kMaxSerialChars = 24;

// Link ids of open HID devices, process-wide: the smallest free number from 10001 upward.
std::mutex gIdLock;
std::set<int> gIds;

int AcquireLinkId() {
  std::lock_guard<std::mutex> lock(gIdLock);
  int id = CHidPort::kFirstLinkId;
  while (gIds.count(id)) ++id;
  gIds.insert(id);
  return id;
}

void ReleaseLinkId(int id) {
  std::lock_guard<std::mutex> lock(gIdLock);
  gIds.erase(id);
}

// Walks the attached HID interfaces in the library's order; stops when fn returns false.
template <typename Fn>
void ForEachInterface(Fn fn) {
  const HidEntryPoints& h = Hid();
  hidapi::hid_device_info* all = h.enumerate(0, 0);
  for (hidapi::hid_device_info* d = all; d; d = d->next)
    if (!fn(*d)) break;
  if (all) h.freeEnumeration(all);
}

}  // namespace

CHidPort::CHidPort() = default;

CHidPort::~CHidPort() { CloseHidDevice(); }

bool CHidPort::IsAcceptedDevice(unsigned short vendorId, unsigned short productId) {
  return std::any_of(std::begin(kAccepted), std::end(kAccepted),
                     [&](const AcceptedId& a) { return a.vendor == vendorId && a.product == productId; });
}

std::string CHidPort::HidReaderName(const wchar_t* serialNumber) {
  if (!serialNumber || !*serialNumber) return kHidFallbackName;
  std::string name;
  for (size_t i = 0; i < kMaxSerialChars && serialNumber[i]; ++i)
    name += CodePointToCp1252(static_cast<char32_t>(serialNumber[i]));
  return name + " HID";
}

void CHidPort::LengthsFromDescriptor(const uint8_t* data, size_t len, int& input, int& output,
                                     bool& numbered) {
  input = output = kDefaultReportLength;
  numbered = false;
  HidReportLengths l;
  if (!ParseHidReportDescriptor(data, len, l)) return;
  numbered = l.numbered;
  // An input report needs the id and count bytes, an output report room for the 4-byte link
  // control report; reports longer than the buffers here are cut to them.
  if (l.input >= 3) input = std::min(l.input, kMaxInputReport);
  if (l.output >= 4) output = std::min(l.output, kMaxOutputReport);
}

void CHidPort::ReadReportLengths(const hidapi::hid_device_info& info) {
  std::vector<uint8_t> desc;
  const HidEntryPoints& h = Hid();
  if (h.getReportDescriptor) {
    desc.resize(4096);
    const int n = h.getReportDescriptor(device_, desc.data(), desc.size());
    desc.resize(n > 0 ? static_cast<size_t>(n) : 0);
  }
  if (desc.empty() && info.path) {
    const char* root = std::getenv(kHidSysfsRootEnv);
    ReadSysfsReportDescriptor(info.path, desc, root ? root : "");
  }
  LengthsFromDescriptor(desc.data(), desc.size(), inputReportLength_, outputReportLength_, numberedReports_);
}

bool CHidPort::OpenHidDevice(const std::string& name) {
  if (!HidUsable()) return false;
  CloseHidDevice();
  lastOpenErrno_ = 0;
  lastOpenNode_.clear();
  const HidEntryPoints& h = Hid();
  ForEachInterface([&](const hidapi::hid_device_info& d) {
    if (!d.path || !IsAcceptedDevice(d.vendor_id, d.product_id)) return true;
    if (HidReaderName(d.serial_number) != name) return true;
    // One reader, one user: the reader this name finds is held elsewhere, and another one that
    // happens to carry the same name is not what the caller meant either.
    if (const int err = nodeLock_.Acquire(d.path); err != 0) {
      lastOpenErrno_ = err;
      lastOpenNode_ = d.path;
      return false;
    }
    hidapi::hid_device* dev = h.openPath(d.path);
    if (!dev) {
      nodeLock_.Release();
      return true;  // another interface may still carry the name
    }
    device_ = dev;
    name_ = name;
    ReadReportLengths(d);
    return false;
  });
  if (!device_) return false;
  writer_ = std::make_unique<CHidTimedWriter>(h.write, h.close, device_);
  linkId_ = AcquireLinkId();
  Trace("HID %s: input %d, output %d bytes", name_.c_str(), inputReportLength_, outputReportLength_);
  return true;
}

void CHidPort::DropDevice() {
  // The writer owns the closing: a write still stuck in the device must end first.
  writer_.reset();
  device_ = nullptr;
  nodeLock_.Release();
}

void CHidPort::CloseHidDevice() {
  DropDevice();
  name_.clear();
  if (linkId_) ReleaseLinkId(linkId_);
  linkId_ = 0;
}

bool CHidPort::WriteReport(const uint8_t* report) {
  const auto r = writer_->Write(report, static_cast<size_t>(outputReportLength_), kWriteTimeoutMs);
  if (r == CHidTimedWriter::Result::kWritten) return true;
  Trace("HID %s: report write %s", name_.c_str(),
        r == CHidTimedWriter::Result::kTimedOut ? "timed out" : "failed");
  return false;
}

bool CHidPort::SendHidControl(int a) {
  if (!device_) return false;
  uint8_t report[kMaxOutputReport] = {0x00, 0x82, 0x10, static_cast<uint8_t>(a)};
  return WriteReport(report);
}

bool CHidPort::WriteHidFrame(const uint8_t* data, size_t len) {
  if (!device_) return false;
  const size_t perReport = static_cast<size_t>(outputReportLength_) - 2;
  for (size_t done = 0; done < len;) {
    const size_t n = std::min(perReport, len - done);
    uint8_t report[kMaxOutputReport] = {};
    report[1] = static_cast<uint8_t>(n);
    std::memcpy(report + 2, data + done, n);
    if (!WriteReport(report)) return false;
    done += n;
  }
  return true;
}

int CHidPort::ReadHidInput(uint8_t* buffer, int capacity) {
  if (!device_) return 0;
  // Reports of a device without report ids come without the id byte: put a 0 in its place.
  const size_t skip = numberedReports_ ? 0 : 1;
  inputReport_[0] = 0;
  const int got = Hid().readTimeout(device_, inputReport_ + skip,
                                    static_cast<size_t>(inputReportLength_) - skip, kReadWaitMs);
  if (got < 0) {
    Trace("HID %s: read failed, device gone", name_.c_str());
    DropDevice();
    return 0;
  }
  const size_t transferred = static_cast<size_t>(got) + skip;
  if (got == 0 || transferred < static_cast<size_t>(inputReportLength_)) return 0;
  size_t n = std::min<size_t>(inputReport_[1], transferred - 2);
  n = std::min(n, static_cast<size_t>(std::max(capacity, 0)));
  if (buffer && n) std::memcpy(buffer, inputReport_ + 2, n);
  return buffer ? static_cast<int>(n) : 0;
}

void CHidPort::EnumerateHidReaders(std::vector<std::string>& list) {
  if (!HidUsable()) return;
  const HidEntryPoints& h = Hid();
  ForEachInterface([&](const hidapi::hid_device_info& d) {
    if (!d.path || !IsAcceptedDevice(d.vendor_id, d.product_id)) return true;
    // Only a device this process can open is worth offering, except one that is refused for want
    // of permission: the operator is told so and why, rather than finding nothing.
    errno = 0;
    hidapi::hid_device* dev = h.openPath(d.path);
    std::string name = HidReaderName(d.serial_number);
    if (!dev) {
      int err = errno;
      if (err != EACCES && err != EPERM && std::strncmp(d.path, "/dev/", 5) == 0 &&
          access(d.path, R_OK | W_OK) != 0)
        err = errno;
      if (err != EACCES && err != EPERM) return true;
      name += std::string(kNoAccessMark) + " " + d.path + ": " + std::strerror(err);
    } else {
      h.close(dev);
    }
    if (std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
    return true;
  });
}

}  // namespace tw
