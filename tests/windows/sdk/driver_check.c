/* Asks tagwright_sdk.dll whether the virtual COM driver is installed; exit code 0 when the answer is
 * the one given as argument. */
#include <stdio.h>
#include <stdlib.h>

#include "sdk/lf_sdk.h"

int main(int argc, char **argv) {
  const int got = LF_IsVirtualComDriverInstalled();
  printf("virtual COM driver installed: %d\n", got);
  return argc == 2 && got == atoi(argv[1]) ? 0 : 1;
}
