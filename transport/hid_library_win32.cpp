// HID readers on Windows: the system's HID class driver through hid.dll and SetupAPI, both loaded at
// run time, with overlapped file I/O on the device. The device functions take the shapes of the
// entry points CHidPort uses on every platform, so the port's own logic is the same everywhere.
// The project's headers come first: windows.h turns some of their names into macros.
#include "platform/dynlib.h"
#include "platform/trace.h"
#include "platform/wide_text.h"
#include "transport/hid_library.h"
#include "transport/hid_port.h"
#include "transport/hid_report_descriptor.h"

#include <windows.h>
#include <hidsdi.h>
#include <setupapi.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

namespace tw::hidapi {

// One open device: its handle and the state of its overlapped reads and writes.
struct hid_device {
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE readEvent = nullptr;
  HANDLE writeEvent = nullptr;
  OVERLAPPED readOv{};
  OVERLAPPED writeOv{};
  bool readPending = false;
  std::vector<uint8_t> readBuffer;  // one input report, id byte first
  size_t outputLength = 0;          // the device's output report length; 0 when unknown
  std::vector<uint8_t> descriptor;  // the lengths as a report descriptor; empty when unknown
};

}  // namespace tw::hidapi

namespace tw {
namespace {

using hidapi::hid_device;
using hidapi::hid_device_info;

using GetHidGuidFn = void(__stdcall*)(LPGUID);
using GetAttributesFn = BOOLEAN(__stdcall*)(HANDLE, PHIDD_ATTRIBUTES);
using GetSerialNumberStringFn = BOOLEAN(__stdcall*)(HANDLE, PVOID, ULONG);
using GetPreparsedDataFn = BOOLEAN(__stdcall*)(HANDLE, PHIDP_PREPARSED_DATA*);
using FreePreparsedDataFn = BOOLEAN(__stdcall*)(PHIDP_PREPARSED_DATA);
using GetCapsFn = NTSTATUS(__stdcall*)(PHIDP_PREPARSED_DATA, PHIDP_CAPS);
using GetClassDevsFn = HDEVINFO(WINAPI*)(const GUID*, PCSTR, HWND, DWORD);
using DestroyDeviceInfoListFn = BOOL(WINAPI*)(HDEVINFO);
using EnumDeviceInterfacesFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*, DWORD,
                                             PSP_DEVICE_INTERFACE_DATA);
using GetInterfaceDetailFn = BOOL(WINAPI*)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                           PSP_DEVICE_INTERFACE_DETAIL_DATA_A, DWORD, PDWORD, PSP_DEVINFO_DATA);

struct Win32Hid {
  DynamicLibrary hid, setupApi;
  GetHidGuidFn getHidGuid = nullptr;
  GetAttributesFn getAttributes = nullptr;
  GetSerialNumberStringFn getSerialNumber = nullptr;
  // Optional: without them the report lengths stay unknown.
  GetPreparsedDataFn getPreparsedData = nullptr;
  FreePreparsedDataFn freePreparsedData = nullptr;
  GetCapsFn getCaps = nullptr;
  GetClassDevsFn getClassDevs = nullptr;
  DestroyDeviceInfoListFn destroyList = nullptr;
  EnumDeviceInterfacesFn enumInterfaces = nullptr;
  GetInterfaceDetailFn getDetail = nullptr;
};

// Set while HID is loaded; the device functions below are reachable only then.
std::unique_ptr<Win32Hid> gApi;

template <typename Fn>
bool Resolve(const DynamicLibrary& lib, const char* name, Fn& slot) {
  slot = lib.Get<Fn>(name);
  if (!slot) Trace("Fehler: Kann %s nicht initialisieren", name);
  return slot != nullptr;
}

// Longest USB string descriptor: 126 UTF-16 units. The name keeps the first 24 of them.
constexpr size_t kSerialUnits = 127;

// Walks the present HID interfaces and calls fn(device path) for each.
template <typename Fn>
void ForEachInterfacePath(const Win32Hid& a, Fn fn) {
  GUID guid;
  a.getHidGuid(&guid);
  HDEVINFO list = a.getClassDevs(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (list == INVALID_HANDLE_VALUE) return;
  // Only "no more items" ends the walk in practice; any failure to enumerate ends it all the same,
  // so that an odd error cannot keep it going forever.
  for (DWORD i = 0;; ++i) {
    SP_DEVICE_INTERFACE_DATA ifc{};
    ifc.cbSize = sizeof ifc;
    if (!a.enumInterfaces(list, nullptr, &guid, i, &ifc)) break;
    DWORD need = 0;
    a.getDetail(list, &ifc, nullptr, 0, &need, nullptr);
    if (need < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) continue;
    std::vector<uint8_t> buf(need);
    auto* detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_A>(buf.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!a.getDetail(list, &ifc, detail, need, nullptr, nullptr)) continue;
    fn(detail->DevicePath);
  }
  a.destroyList(list);
}

hid_device_info* Enumerate(unsigned short vendorId, unsigned short productId) {
  if (!gApi) return nullptr;
  const Win32Hid& a = *gApi;
  hid_device_info* head = nullptr;
  hid_device_info** tail = &head;
  ForEachInterfacePath(a, [&](const char* path) {
    // No access asked for: attributes and strings can be read even from a device someone else holds.
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    HIDD_ATTRIBUTES attr{};
    attr.Size = sizeof attr;
    if (a.getAttributes(h, &attr) && (vendorId == 0 || attr.VendorID == vendorId) &&
        (productId == 0 || attr.ProductID == productId)) {
      auto* info = new hid_device_info{};
      info->path = new char[std::strlen(path) + 1];
      std::strcpy(info->path, path);
      info->vendor_id = attr.VendorID;
      info->product_id = attr.ProductID;
      info->release_number = attr.VersionNumber;
      wchar_t serial[kSerialUnits + 1] = {};
      if (a.getSerialNumber(h, serial, kSerialUnits * sizeof(wchar_t)) && serial[0]) {
        info->serial_number = new wchar_t[wcslen(serial) + 1];
        wcscpy(info->serial_number, serial);
      }
      *tail = info;
      tail = &info->next;
    }
    CloseHandle(h);
  });
  return head;
}

void FreeEnumeration(hid_device_info* devs) {
  while (devs) {
    hid_device_info* next = devs->next;
    delete[] devs->path;
    delete[] devs->serial_number;
    delete devs;
    devs = next;
  }
}

// The report lengths (each with the id byte) from the device's capabilities; 0 when unknown.
void ReadCaps(const Win32Hid& a, HANDLE h, USHORT& input, USHORT& output) {
  input = output = 0;
  if (!a.getPreparsedData || !a.freePreparsedData || !a.getCaps) return;
  PHIDP_PREPARSED_DATA pp = nullptr;
  if (!a.getPreparsedData(h, &pp)) return;
  HIDP_CAPS caps{};
  if (a.getCaps(pp, &caps) == HIDP_STATUS_SUCCESS) {
    input = caps.InputReportByteLength;
    output = caps.OutputReportByteLength;
  }
  a.freePreparsedData(pp);
}

void Close(hid_device* d) {
  if (!d) return;
  // A read still in flight writes into this device's buffer: it has to end before that goes.
  if (d->readPending) {
    CancelIoEx(d->handle, &d->readOv);
    DWORD n = 0;
    GetOverlappedResult(d->handle, &d->readOv, &n, TRUE);
  }
  if (d->handle != INVALID_HANDLE_VALUE) CloseHandle(d->handle);
  if (d->readEvent) CloseHandle(d->readEvent);
  if (d->writeEvent) CloseHandle(d->writeEvent);
  delete d;
}

// Opens a device (an interface path, or any path that opens for overlapped I/O) for reading and
// writing. On failure errno says why: EACCES when the system refused access.
hid_device* OpenHidPath(const char* path) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD err = GetLastError();
    Trace("HID %s: %s", path, Win32ErrorText(err).c_str());
    errno = err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION ? EACCES : ENODEV;
    return nullptr;
  }
  auto* d = new hid_device;
  d->handle = h;
  d->readEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  d->writeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!d->readEvent || !d->writeEvent) {
    Close(d);
    errno = ENOMEM;
    return nullptr;
  }
  USHORT input = 0, output = 0;
  if (gApi) ReadCaps(*gApi, h, input, output);
  // A read must offer room for a whole report; without the length the largest one taken here.
  d->readBuffer.resize(input ? input : CHidPort::kMaxInputReport);
  d->outputLength = output;
  if (input || output) d->descriptor = HidDescriptorForLengths(input, output);
  return d;
}

// Reports come without their id byte, as from a device that numbers none: the readers do not, and
// the id of any other is of no use here. 0 when no report came within ms milliseconds.
int ReadHidReport(hid_device* d, unsigned char* data, size_t length, int ms) {
  if (!d->readPending) {
    d->readOv = OVERLAPPED{};
    d->readOv.hEvent = d->readEvent;
    ResetEvent(d->readEvent);
    // The event is set on completion, also when the read completes at once.
    if (!ReadFile(d->handle, d->readBuffer.data(), static_cast<DWORD>(d->readBuffer.size()), nullptr,
                  &d->readOv) &&
        GetLastError() != ERROR_IO_PENDING)
      return -1;
    d->readPending = true;
  }
  if (WaitForSingleObject(d->readEvent, ms < 0 ? INFINITE : static_cast<DWORD>(ms)) != WAIT_OBJECT_0)
    return 0;
  DWORD got = 0;
  const BOOL ok = GetOverlappedResult(d->handle, &d->readOv, &got, FALSE);
  d->readPending = false;
  if (!ok) return -1;
  if (got <= 1) return 0;
  const size_t n = std::min<size_t>(got - 1, length);
  std::memcpy(data, d->readBuffer.data() + 1, n);
  return static_cast<int>(n);
}

// Writes one report, padded with zero bytes to the device's output report length. A write the
// device has not taken within CHidPort::kWriteTimeoutMs is cancelled and fails.
int WriteHidReport(hid_device* d, const unsigned char* data, size_t length) {
  std::vector<uint8_t> report(data, data + length);
  if (report.size() < d->outputLength) report.resize(d->outputLength, 0);
  d->writeOv = OVERLAPPED{};
  d->writeOv.hEvent = d->writeEvent;
  ResetEvent(d->writeEvent);
  if (!WriteFile(d->handle, report.data(), static_cast<DWORD>(report.size()), nullptr, &d->writeOv) &&
      GetLastError() != ERROR_IO_PENDING)
    return -1;
  DWORD done = 0;
  if (WaitForSingleObject(d->writeEvent, CHidPort::kWriteTimeoutMs) != WAIT_OBJECT_0) {
    CancelIoEx(d->handle, &d->writeOv);
    // The report buffer must outlive the cancelled write.
    GetOverlappedResult(d->handle, &d->writeOv, &done, TRUE);
    return -1;
  }
  if (!GetOverlappedResult(d->handle, &d->writeOv, &done, FALSE)) return -1;
  return static_cast<int>(length);
}

int GetReportDescriptor(hid_device* d, unsigned char* buf, size_t size) {
  if (d->descriptor.empty() || d->descriptor.size() > size) return -1;
  std::memcpy(buf, d->descriptor.data(), d->descriptor.size());
  return static_cast<int>(d->descriptor.size());
}

}  // namespace

void FreeHidBackend(const HidEntryPoints&, bool) {
  // The device functions live in this program, not in the libraries: a write still stuck in a
  // device needs nothing that is unloaded here.
  gApi.reset();
}

bool LoadHidBackend(HidEntryPoints& e) {
  auto api = std::make_unique<Win32Hid>();
  if (!api->hid.Load("hid.dll") || !api->setupApi.Load("SetupApi.dll")) {
    Trace("Fehler: Kann hid.dll oder SetupApi.dll nicht laden");
    return false;
  }
  bool usable = Resolve(api->hid, "HidD_GetHidGuid", api->getHidGuid);
  usable = Resolve(api->hid, "HidD_GetAttributes", api->getAttributes) && usable;
  usable = Resolve(api->hid, "HidD_GetSerialNumberString", api->getSerialNumber) && usable;
  usable = Resolve(api->setupApi, "SetupDiGetClassDevsA", api->getClassDevs) && usable;
  usable = Resolve(api->setupApi, "SetupDiDestroyDeviceInfoList", api->destroyList) && usable;
  usable = Resolve(api->setupApi, "SetupDiEnumDeviceInterfaces", api->enumInterfaces) && usable;
  usable = Resolve(api->setupApi, "SetupDiGetDeviceInterfaceDetailA", api->getDetail) && usable;
  api->getPreparsedData = api->hid.Get<GetPreparsedDataFn>("HidD_GetPreparsedData");
  api->freePreparsedData = api->hid.Get<FreePreparsedDataFn>("HidD_FreePreparsedData");
  api->getCaps = api->hid.Get<GetCapsFn>("HidP_GetCaps");
  if (!usable) return false;
  gApi = std::move(api);
  e.enumerate = Enumerate;
  e.freeEnumeration = FreeEnumeration;
  e.openPath = OpenHidPath;
  e.write = WriteHidReport;
  e.readTimeout = ReadHidReport;
  e.close = Close;
  e.getReportDescriptor = GetReportDescriptor;
  return true;
}

}  // namespace tw
