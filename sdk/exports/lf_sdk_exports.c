/* The shared library's own translation unit: it checks that the C interface compiles as C. The
   functions themselves come from the SDK archive, linked in whole. */
#include "sdk/lf_sdk.h"
