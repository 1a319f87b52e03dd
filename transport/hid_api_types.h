// The types and entry-point signatures of the hidapi library as it is loaded at run time. Only
// the fields every hidapi release shares are declared; the library allocates the structures.
#pragma once
#include <cstddef>
#include <cwchar>

namespace tw::hidapi {

struct hid_device;  // opaque

struct hid_device_info {
  char* path;
  unsigned short vendor_id;
  unsigned short product_id;
  wchar_t* serial_number;
  unsigned short release_number;
  wchar_t* manufacturer_string;
  wchar_t* product_string;
  unsigned short usage_page;
  unsigned short usage;
  int interface_number;
  hid_device_info* next;
  // Newer releases append fields here; they are never read.
};

using hid_init_fn = int (*)();
using hid_exit_fn = int (*)();
using hid_enumerate_fn = hid_device_info* (*)(unsigned short vendor_id, unsigned short product_id);
using hid_free_enumeration_fn = void (*)(hid_device_info* devs);
using hid_open_path_fn = hid_device* (*)(const char* path);
using hid_write_fn = int (*)(hid_device* dev, const unsigned char* data, size_t length);
using hid_read_timeout_fn = int (*)(hid_device* dev, unsigned char* data, size_t length, int milliseconds);
using hid_close_fn = void (*)(hid_device* dev);
using hid_error_fn = const wchar_t* (*)(hid_device* dev);
// Arrived with hidapi 0.14; older releases lack it.
using hid_get_report_descriptor_fn = int (*)(hid_device* dev, unsigned char* buf, size_t size);

}  // namespace tw::hidapi
