// The hidapi types as the library exports them (release 0.13 layout), for the stand-in library.
#pragma once
#include <stddef.h>
#include <wchar.h>

typedef struct hid_device_ hid_device;

typedef enum {
  HID_API_BUS_UNKNOWN = 0x00,
  HID_API_BUS_USB = 0x01,
  HID_API_BUS_BLUETOOTH = 0x02,
  HID_API_BUS_I2C = 0x03,
  HID_API_BUS_SPI = 0x04,
} hid_bus_type;

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
  struct hid_device_info* next;
  hid_bus_type bus_type;
};
