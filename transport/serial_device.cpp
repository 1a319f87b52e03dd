#include <cstdio>

#include "transport/serial_device.h"

namespace tw::serial_device {

using namespace d2xx;

bool BuildCommDCB(const std::string& def, FTDCB* dcb) {
  unsigned baud = 0, data = 0, stop = 0;
  char parity = 0;
  if (std::sscanf(def.c_str(), "baud=%u parity=%c data=%u stop=%u", &baud, &parity, &data, &stop) !=
      4)
    return false;
  if (data < 5 || data > 8 || (stop != 1 && stop != 2) || baud == 0) return false;
  dcb->DCBlength = sizeof *dcb;
  dcb->BaudRate = baud;
  dcb->ByteSize = static_cast<UCHAR>(data);
  dcb->StopBits = stop == 2 ? TWOSTOPBITS : ONESTOPBIT;
  switch (parity) {
    case 'N': case 'n': dcb->Parity = NOPARITY; dcb->fParity = 0; break;
    case 'E': case 'e': dcb->Parity = EVENPARITY; dcb->fParity = 1; break;
    case 'O': case 'o': dcb->Parity = ODDPARITY; dcb->fParity = 1; break;
    default: return false;
  }
  return true;
}

}  // namespace tw::serial_device
