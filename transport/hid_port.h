// The HID link to a reader that presents itself as a USB HID device: finds it by vendor/product id
// and serial number, writes command frames cut into output reports, pulls input reports without
// blocking for more than 1 ms, and lists the attached HID readers for the interface dialog.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transport/device_node_lock.h"
#include "transport/hid_api_types.h"
#include "transport/hid_library.h"

namespace tw {

class CHidTimedWriter;

// Product number that starts the name of a HID reader whose serial number cannot be read; it is
// one of the reader product numbers that the USB listing keeps.
inline constexpr int kHidFallbackProductNumber = 2010;
inline constexpr const char* kHidFallbackName = "2010-???? HID";
// Environment variable that puts a prepared tree in front of /sys when report descriptors are read.
inline constexpr const char* kHidSysfsRootEnv = "TAGWRIGHT_HID_SYSFS_ROOT";

class CHidPort {
 public:
  static constexpr int kFirstLinkId = 10001;
  static constexpr int kDefaultReportLength = 9;
  static constexpr int kMaxOutputReport = 65;
  static constexpr int kMaxInputReport = 130;
  static constexpr uint32_t kWriteTimeoutMs = 50;
  static constexpr int kReadWaitMs = 1;

  CHidPort();
  ~CHidPort();
  CHidPort(const CHidPort&) = delete;
  CHidPort& operator=(const CHidPort&) = delete;

  // SDK start-up and shutdown (see hid_library.h).
  static bool LoadHidLibraries() { return tw::LoadHidLibraries(); }
  static void FreeHidLibraries() { tw::FreeHidLibraries(); }

  // Opens the first accepted device whose name equals name exactly and takes its node for this
  // port alone. Closes any open device first. On failure LastOpenErrno tells why (EBUSY: the
  // node LastOpenNode is held by another port or program; 0: no such reader could be opened).
  bool OpenHidDevice(const std::string& name);
  int LastOpenErrno() const { return lastOpenErrno_; }
  const std::string& LastOpenNode() const { return lastOpenNode_; }
  // Link control report 00 82 10 aa; false when no device is open or the device did not take it.
  bool SendHidControl(int a);
  void CloseHidDevice();
  // Cuts the frame into data reports of output length - 2 bytes; false when a report failed.
  bool WriteHidFrame(const uint8_t* data, size_t len);
  // Data bytes of one input report, at most capacity; 0 when nothing came within 1 ms. A read
  // error means the device vanished: it is let go, but the link id stays until CloseHidDevice.
  int ReadHidInput(uint8_t* buffer, int capacity);
  // Appends the names of attached readers, each name once. A reader whose node this user may not
  // open is listed too, as "<serial> HID (no access) /dev/hidrawN: <reason>".
  static void EnumerateHidReaders(std::vector<std::string>& list);
  static constexpr const char* kNoAccessMark = " (no access)";

  // Open until CloseHidDevice, also after the device vanished (Lost).
  bool IsOpen() const { return linkId_ != 0; }
  bool Lost() const { return linkId_ != 0 && !device_; }
  bool HasDevice() const { return device_ != nullptr; }
  int LinkId() const { return linkId_; }
  const std::string& Name() const { return name_; }
  int InputReportLength() const { return inputReportLength_; }
  int OutputReportLength() const { return outputReportLength_; }

  static bool IsAcceptedDevice(unsigned short vendorId, unsigned short productId);
  // Serial number (at most 24 characters, as the 50-byte buffer of the original read took) in
  // Windows-1252 plus " HID"; the fallback name when there is none.
  static std::string HidReaderName(const wchar_t* serialNumber);
  // Report lengths as used here, from a descriptor: out of range or unreadable → 9 and 9.
  static void LengthsFromDescriptor(const uint8_t* data, size_t len, int& input, int& output, bool& numbered);

 private:
  bool WriteReport(const uint8_t* report);
  void DropDevice();
  void ReadReportLengths(const hidapi::hid_device_info& info);

  std::string name_;
  int linkId_ = 0;
  hidapi::hid_device* device_ = nullptr;
  CDeviceNodeLock nodeLock_;
  int lastOpenErrno_ = 0;
  std::string lastOpenNode_;
  int inputReportLength_ = kDefaultReportLength;
  int outputReportLength_ = kDefaultReportLength;
  bool numberedReports_ = false;
  std::unique_ptr<CHidTimedWriter> writer_;
  uint8_t inputReport_[kMaxInputReport] = {};
};

}  // namespace tw
