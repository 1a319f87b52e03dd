// Listing of what a reader can be attached by: serial devices found in sysfs (with readable
// descriptions for the maker's USB readers), FTDI devices by serial number, simulator terminals,
// the driver check for the maker's USB readers, and the set of reader product numbers.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "transport/ftd2xx_types.h"

namespace tw {

// USB identities of the maker's readers.
inline constexpr int kVirtualComVid = 0x1C40, kVirtualComPid = 0x05AC;
inline constexpr int kFtdiReaderVid = 0x0403, kFtdiReaderPid = 0xE130;
// Bits of CheckUsbDriverState.
inline constexpr uint32_t kMissingFtdiDriver = 1;
inline constexpr uint32_t kMissingVirtualComDriver = 2;

// Reader product numbers: the four digits that begin a reader's serial number ("2100-0815").
// Five single values and five ranges, 156 numbers in all. 2010 also starts the HID layer's
// fallback name for a reader whose serial number cannot be read, so that such a reader is listed.
constexpr bool IsReaderProductNumber(int n) {
  constexpr int kSingles[] = {2010, 2011, 2020, 2030, 2040};
  constexpr int kRanges[][2] = {{1000, 1029}, {2100, 2139}, {2400, 2429}, {2500, 2519}, {5500, 5530}};
  for (int v : kSingles)
    if (n == v) return true;
  for (const auto& r : kRanges)
    if (n >= r[0] && n <= r[1]) return true;
  return false;
}
// Whether the driver of the maker's virtual COM readers is installed. The system's own class driver
// serves them on Linux and on Windows 10 and later; older Windows need the maker's INF installed.
bool IsVirtualComDriverInstalled();

// True when s begins with prefix, letters compared without regard to case.
bool StartsWithNoCase(const std::string& s, const char* prefix);
// A description or name of the maker's: it starts with "Velkor" or "Kestrel" in any case.
bool IsMakersName(const std::string& s);

// True when the first four characters are decimal digits forming a reader product number.
bool StartsWithReaderProductNumber(const std::string& entry);

// Order of device paths with digit runs compared by value: ttyUSB2 before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b);
// Sorts entries ("/dev/ttyUSB0 [description]") by their device path; equal paths keep their order.
void SortPortEntries(std::vector<std::string>& entries);

// Serial numbers of the device list nodes that are not open in this process and not empty.
void AppendD2xxSerials(const d2xx::FT_DEVICE_LIST_INFO_NODE* nodes, size_t count,
                       std::vector<std::string>& list);

// The simulator's terminals. Each running tagwright-sim holds a lock on "<pid>.pty" in this
// folder, a file holding its terminal's path; a file nobody holds locked is left over and ignored.
// Folder: $TAGWRIGHT_SIM_REGISTRY, else $XDG_RUNTIME_DIR/tagwright-sim, else
// /tmp/tagwright-sim-<uid>.
std::string SimRegistryDir();
// "/dev/pts/7 [tagwright-sim]" for each live simulator, sorted by path.
void AppendSimulatorPorts(std::vector<std::string>& list);
inline constexpr const char* kSimPortSuffix = " [tagwright-sim]";

// Fallback when sysfs cannot be read: the usual device names that open as terminals.
void ProbeSerialDevices(const std::string& root, std::vector<std::string>& list);

}  // namespace tw
