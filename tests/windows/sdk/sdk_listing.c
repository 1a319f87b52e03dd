/* The SDK's listing functions on a system without readers: every one answers, none fails. The COM
 * list may hold whatever ports the system has; the USB list is empty (no D2XX or HID library, or no
 * reader), no driver is missing; opening a HID reader fails with a reason. Exit code 0 when that
 * holds. */
#include <stdio.h>
#include <string.h>

#include "sdk/lf_sdk.h"

static void Print(const char *what, const char *list, int used) {
  printf("%s (%d bytes):", what, used);
  for (const char *p = list; used > 0 && *p; p += 1 + (int)strlen(p)) printf(" [%s]", p);
  printf("\n");
}

int main(void) {
  char serial[4096], usb[4096];
  const int s = LF_EnumSerialPorts(serial, (int)sizeof serial);
  const int u = LF_EnumUsbPorts(usb, (int)sizeof usb);
  const int missing = LF_GetMissingUsbDrivers();
  Print("serial", serial, s);
  Print("usb", usb, u);
  printf("missing drivers: %d, virtual COM driver: %d\n", missing, LF_IsVirtualComDriverInstalled());
  char why[256] = "";
  const int hid = LF_OpenPort("2010-0815 HID", 19200, 0, 500);
  LF_GetOpenError(why, (int)sizeof why);
  printf("open 2010-0815 HID: %d (%s)\n", hid, why);
  return s >= 1 && u == 1 && usb[0] == '\0' && missing == 0 && hid == -1 && why[0] ? 0 : 1;
}
