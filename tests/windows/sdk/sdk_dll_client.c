/* A C caller of tagwright_sdk.dll, built like a customer's program: only lf_sdk.h and the import
 * library. Opens the reader by the name given (COMn, or a.b.c.d-port for an Ethernet reader),
 * identifies it, reads the UID of the tag in its field (type given) and, for a COM port, checks
 * that a second open of the same port is refused. Prints one line per step; exit code 0 only when
 * every step went as expected. */
#include <stdio.h>
#include <stdlib.h>

#include "sdk/lf_sdk.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: sdk_dll_client NAME type\n");
    return 2;
  }
  const int serial = (argv[1][0] == 'C' || argv[1][0] == 'c');
  const int type = atoi(argv[2]);
  int h = LF_OpenPort(argv[1], 19200, 0, 500);
  if (h <= 0) {
    printf("open %s: %d\n", argv[1], h);
    return 1;
  }
  unsigned char version[64];
  char name[64];
  int n = LF_GetVersion(h, version, (int)sizeof version, name, (int)sizeof name);
  printf("version: %d bytes, %s, can write %d\n", n, n > 0 ? name : "-", LF_CanWrite(h));

  unsigned char uid[32];
  int u = LF_ReadUid(h, type, uid, (int)sizeof uid);
  printf("uid:");
  for (int i = 0; i < u; ++i) printf(" %02X", uid[i]);
  printf(" (%d, last error %d)\n", u, u < 0 ? LF_GetLastError(h) : 0);

  int second = -1;
  if (serial) {
    second = LF_OpenPort(argv[1], 19200, 0, 500);
    printf("second open: %d\n", second);
    if (second > 0) LF_ClosePort(second);
  }

  printf("close: %d\n", LF_ClosePort(h));
  return n > 0 && u > 0 && second < 0 ? 0 : 1;
}
