// The stand-in's device on Windows: a COM port (under Wine, a tagwright-sim terminal linked into
// the prefix), driven through the project's own serial device primitives.
#include <cstring>

#include "sim/standin/d2xx_standin_port.h"
#include "transport/serial_device.h"

namespace standin {
namespace {

namespace sd = tw::serial_device;

bool Fail(DWORD* error) {
  *error = kErrorIo;
  return false;
}

}  // namespace

int OpenPort(const std::string& path) { return sd::Create(path); }

void ClosePort(int fd) { sd::Close(fd); }

// The host sets "return at once" timeouts; the primitives read what is queued.
bool ReadPort(int fd, void* buffer, DWORD size, const FTTIMEOUTS&, DWORD* got, DWORD* error) {
  uint32_t n = 0;
  const bool ok = sd::Read(fd, buffer, size, &n);
  *got = n;
  return ok || Fail(error);
}

bool WritePort(int fd, const void* buffer, DWORD size, DWORD* done, DWORD* error) {
  uint32_t n = 0;
  const bool ok = sd::Write(fd, buffer, size, &n);
  *done = n;
  return ok || Fail(error);
}

bool PortStatus(int fd, DWORD* errors, FTCOMSTAT* stat, DWORD* error) {
  tw::d2xx::FTCOMSTAT s{};
  uint32_t e = 0;
  if (!sd::ClearCommError(fd, &e, &s)) return Fail(error);
  if (errors) *errors = e;
  if (stat) std::memcpy(stat, &s, sizeof s);
  return true;
}

bool PortModemStatus(int fd, DWORD* status, DWORD* error) {
  uint32_t s = 0;
  if (!sd::GetCommModemStatus(fd, &s)) return Fail(error);
  if (status) *status = s;
  return true;
}

bool SetPortState(int fd, const FTDCB& dcb, DWORD* error) {
  return sd::SetCommState(fd, reinterpret_cast<const tw::d2xx::FTDCB*>(&dcb)) || Fail(error);
}

bool SetPortMask(int fd, ULONG mask, DWORD* error) { return sd::SetCommMask(fd, mask) || Fail(error); }

bool PurgePort(int fd, DWORD flags, DWORD* error) { return sd::PurgeComm(fd, flags) || Fail(error); }

}  // namespace standin
