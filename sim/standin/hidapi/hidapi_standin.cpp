// Stand-in for the hidapi library (libhidapi-hidraw.so.0), built for tests. It presents the
// simulated HID readers named in TAGWRIGHT_SIM_HID and bridges their reports to a byte device,
// normally the pseudo-terminal of a tagwright-sim instance, so that the reader core answers:
//
//   TAGWRIGHT_SIM_HID="VID:PID:SERIAL:IN:OUT[:FLAGS]=DEVICE;..."
//
// VID and PID in hex; SERIAL empty for a device without a serial number string; IN and OUT the
// report lengths including the report-id byte (the report descriptor handed out says so; the
// reports are unnumbered, so reads deliver them without the id byte, like hidraw). FLAGS, comma-
// separated: count=N (every input report carries count byte N), short (input reports one byte
// short), ctlfail (link control reports fail), ctlstall (link control reports take 200 ms),
// stall (every report takes 200 ms), noopen (opening fails), nodesc (no report descriptor).
// A data report's count bytes go to DEVICE; bytes from DEVICE come back in input reports.
// After those come the readers that running simulators announce (tagwright-sim --hid): live
// files "<pid>.hid" in $TAGWRIGHT_SIM_REGISTRY, $XDG_RUNTIME_DIR/tagwright-sim or
// /tmp/tagwright-sim-<uid>, each holding one entry of the same form.
// Each device's path is a real node that hosts may lock: an announced simulator's terminal, or for
// a configured entry the file "hidraw<900+n>" in the registry folder (made on first use; a
// hidraw-style name, so that the host may also look for the descriptor in sysfs).
// With TAGWRIGHT_SIM_HID_LOG set, every written report is appended to that file as one line:
// "<serial> <hex bytes>".
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <wchar.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "sim/standin/hidapi/hidapi_abi.h"

#define STANDIN_API extern "C" __attribute__((visibility("default")))

namespace {

struct Config {
  unsigned short vid = 0, pid = 0;
  std::string serial;
  int in = 9, out = 9;
  int count = -1;
  bool shortReports = false, ctlFail = false, ctlStall = false, stall = false, noOpen = false, noDesc = false;
  std::string target;
  std::string path;  // the node the enumeration hands out
};

}  // namespace

struct hid_device_ {
  Config cfg;
  int fd = -1;
};

namespace {

std::mutex g_mu;
std::set<hid_device*> g_open;  // live handles; anything else is rejected, never dereferenced

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> parts;
  size_t pos = 0;
  for (;;) {
    const size_t end = s.find(sep, pos);
    parts.push_back(s.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
    if (end == std::string::npos) return parts;
    pos = end + 1;
  }
}

bool ParseEntry(const std::string& item, Config& c) {
  const size_t eq = item.rfind('=');  // flags may hold '=' too
  if (eq == std::string::npos) return false;
  c.target = item.substr(eq + 1);
  const std::vector<std::string> f = Split(item.substr(0, eq), ':');
  if (f.size() < 5 || f.size() > 6) return false;
  char* end = nullptr;
  c.vid = static_cast<unsigned short>(strtoul(f[0].c_str(), &end, 16));
  c.pid = static_cast<unsigned short>(strtoul(f[1].c_str(), &end, 16));
  c.serial = f[2];
  c.in = atoi(f[3].c_str());
  c.out = atoi(f[4].c_str());
  if (c.in < 3 || c.in > 1024 || c.out < 2 || c.out > 1024) return false;
  if (f.size() == 6) {
    for (const std::string& flag : Split(f[5], ',')) {
      if (flag.rfind("count=", 0) == 0)
        c.count = atoi(flag.c_str() + 6) & 0xFF;
      else if (flag == "short")
        c.shortReports = true;
      else if (flag == "ctlfail")
        c.ctlFail = true;
      else if (flag == "ctlstall")
        c.ctlStall = true;
      else if (flag == "stall")
        c.stall = true;
      else if (flag == "noopen")
        c.noOpen = true;
      else if (flag == "nodesc")
        c.noDesc = true;
    }
  }
  return true;
}

std::string RegistryDir() {
  if (const char* dir = getenv("TAGWRIGHT_SIM_REGISTRY"); dir && *dir) return dir;
  if (const char* run = getenv("XDG_RUNTIME_DIR"); run && *run) return std::string(run) + "/tagwright-sim";
  return "/tmp/tagwright-sim-" + std::to_string(geteuid());
}

// Only our own files in a folder nobody else can write to are believed.
bool Trusted(const struct stat& st) {
  return st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// Entries announced by running simulators, in file name order.
std::vector<std::string> Announced() {
  std::vector<std::string> entries;
  const std::string dirPath = RegistryDir();
  struct stat dirStat {};
  if (stat(dirPath.c_str(), &dirStat) != 0 || !S_ISDIR(dirStat.st_mode) || !Trusted(dirStat)) return entries;
  DIR* dir = opendir(dirPath.c_str());
  if (!dir) return entries;
  std::vector<std::string> names;
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".hid") == 0) names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const int fd = open((dirPath + "/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    struct stat st {};
    // A file we can lock has no simulator behind it any more.
    char buf[512];
    ssize_t n = -1;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && Trusted(st) && flock(fd, LOCK_SH | LOCK_NB) != 0)
      n = read(fd, buf, sizeof buf - 1);
    close(fd);
    if (n <= 0) continue;
    std::string line(buf, static_cast<size_t>(n));
    line.erase(line.find_last_not_of("\r\n") + 1);
    entries.push_back(line);
  }
  return entries;
}

// A configured entry's node: an empty file in the registry folder, made on first use.
std::string ConfiguredNode(int index) {
  const std::string dir = RegistryDir();
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return {};
  const std::string path = dir + "/hidraw" + std::to_string(900 + index);
  const int fd = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return {};
  close(fd);
  return path;
}

std::vector<Config> Configured() {
  std::vector<Config> list;
  const char* env = getenv("TAGWRIGHT_SIM_HID");
  int index = 0;
  for (const std::string& item : env ? Split(env, ';') : std::vector<std::string>{}) {
    Config c;
    if (!ParseEntry(item, c)) continue;
    c.path = ConfiguredNode(index++);
    if (!c.path.empty()) list.push_back(c);
  }
  for (const std::string& item : Announced()) {
    Config c;
    if (!ParseEntry(item, c)) continue;
    c.path = c.target;  // one simulator, one terminal
    list.push_back(c);
  }
  return list;
}

wchar_t* WideCopy(const std::string& s) {
  wchar_t* w = static_cast<wchar_t*>(calloc(s.size() + 1, sizeof(wchar_t)));
  for (size_t i = 0; i < s.size(); ++i) w[i] = static_cast<unsigned char>(s[i]);
  return w;
}

void LogReport(const hid_device* d, const unsigned char* data, size_t len) {
  const char* path = getenv("TAGWRIGHT_SIM_HID_LOG");
  if (!path || !*path) return;
  std::string line = d->cfg.serial.empty() ? "-" : d->cfg.serial;
  char hex[4];
  for (size_t i = 0; i < len; ++i) {
    snprintf(hex, sizeof hex, " %02X", data[i]);
    line += hex;
  }
  line += '\n';
  FILE* f = fopen(path, "a");
  if (!f) return;
  fputs(line.c_str(), f);
  fclose(f);
}

bool Live(hid_device* d) {
  std::lock_guard<std::mutex> lock(g_mu);
  return g_open.count(d) != 0;
}

void AppendLength(std::vector<unsigned char>& d, unsigned char itemSizeOne, int n) {
  if (n <= 255) {
    d.push_back(itemSizeOne);
    d.push_back(static_cast<unsigned char>(n));
  } else {
    d.push_back(static_cast<unsigned char>(itemSizeOne + 1));
    d.push_back(static_cast<unsigned char>(n & 0xFF));
    d.push_back(static_cast<unsigned char>(n >> 8));
  }
}

// A vendor-defined device with one unnumbered input and one output report of the given lengths.
[[maybe_unused]] std::vector<unsigned char> Descriptor(const Config& c) {
  std::vector<unsigned char> d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                  0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08};
  AppendLength(d, 0x95, c.in - 1);
  d.insert(d.end(), {0x09, 0x01, 0x81, 0x02});
  AppendLength(d, 0x95, c.out - 1);
  d.insert(d.end(), {0x09, 0x01, 0x91, 0x02, 0xC0});
  return d;
}

}  // namespace

STANDIN_API int hid_init(void) { return 0; }

STANDIN_API int hid_exit(void) { return 0; }

STANDIN_API hid_device_info* hid_enumerate(unsigned short vendor_id, unsigned short product_id) {
  hid_device_info* head = nullptr;
  hid_device_info** tail = &head;
  for (const Config& c : Configured()) {
    if ((vendor_id && vendor_id != c.vid) || (product_id && product_id != c.pid)) continue;
    auto* info = static_cast<hid_device_info*>(calloc(1, sizeof(hid_device_info)));
    info->path = strdup(c.path.c_str());
    info->vendor_id = c.vid;
    info->product_id = c.pid;
    info->serial_number = WideCopy(c.serial);
    info->manufacturer_string = WideCopy("Simulated");
    info->product_string = WideCopy("Simulated HID reader");
    info->usage_page = 0xFF00;
    info->usage = 1;
    info->interface_number = 0;
    info->bus_type = HID_API_BUS_USB;
    *tail = info;
    tail = &info->next;
  }
  return head;
}

STANDIN_API void hid_free_enumeration(hid_device_info* devs) {
  while (devs) {
    hid_device_info* next = devs->next;
    free(devs->path);
    free(devs->serial_number);
    free(devs->manufacturer_string);
    free(devs->product_string);
    free(devs);
    devs = next;
  }
}

STANDIN_API hid_device* hid_open_path(const char* path) {
  if (!path) return nullptr;
  for (const Config& c : Configured()) {
    if (c.path != path) continue;
    if (c.noOpen) {
      errno = EACCES;  // as hidraw answers a user without permission on the node
      return nullptr;
    }
    const int fd = open(c.target.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    termios t{};
    if (tcgetattr(fd, &t) == 0) {
      cfmakeraw(&t);
      tcsetattr(fd, TCSANOW, &t);
    }
    auto* d = new hid_device;
    d->cfg = c;
    d->fd = fd;
    std::lock_guard<std::mutex> lock(g_mu);
    g_open.insert(d);
    return d;
  }
  return nullptr;
}

STANDIN_API hid_device* hid_open(unsigned short vendor_id, unsigned short product_id,
                                 const wchar_t* serial_number) {
  for (const Config& c : Configured()) {
    if (c.vid != vendor_id || c.pid != product_id) continue;
    if (serial_number) {
      wchar_t* w = WideCopy(c.serial);
      const bool same = wcscmp(w, serial_number) == 0;
      free(w);
      if (!same) continue;
    }
    return hid_open_path(c.path.c_str());
  }
  return nullptr;
}

STANDIN_API void hid_close(hid_device* dev) {
  {
    std::lock_guard<std::mutex> lock(g_mu);
    if (!g_open.erase(dev)) return;
  }
  close(dev->fd);
  delete dev;
}

STANDIN_API int hid_write(hid_device* dev, const unsigned char* data, size_t length) {
  if (!Live(dev) || !data || length == 0) return -1;
  LogReport(dev, data, length);
  const bool control = length >= 3 && data[1] == 0x82 && data[2] == 0x10;
  if (control && dev->cfg.ctlFail) return -1;
  if (dev->cfg.stall || (control && dev->cfg.ctlStall)) usleep(200 * 1000);
  if (control || length < 2) return static_cast<int>(length);
  size_t n = data[1];
  if (n > length - 2) n = length - 2;
  const unsigned char* p = data + 2;
  while (n > 0) {
    const ssize_t w = write(dev->fd, p, n);
    if (w < 0 && errno == EAGAIN) {
      usleep(1000);
      continue;
    }
    if (w <= 0) return -1;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return static_cast<int>(length);
}

#ifndef STANDIN_HIDAPI_NO_READ
STANDIN_API int hid_read_timeout(hid_device* dev, unsigned char* data, size_t length, int milliseconds) {
  if (!Live(dev) || !data) return -1;
  pollfd p{dev->fd, POLLIN, 0};
  const int r = poll(&p, 1, milliseconds);
  if (r < 0) return errno == EINTR ? 0 : -1;
  if (r == 0) return 0;
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return -1;
  // One unnumbered input report: count byte, data, zero padding.
  const size_t reportLen = static_cast<size_t>(dev->cfg.in - 1);
  std::vector<unsigned char> report(reportLen, 0);
  const ssize_t got = read(dev->fd, report.data() + 1, reportLen - 1);
  if (got < 0) return (errno == EAGAIN || errno == EINTR) ? 0 : -1;
  if (got == 0) return -1;
  report[0] = static_cast<unsigned char>(dev->cfg.count >= 0 ? dev->cfg.count : got);
  size_t n = dev->cfg.shortReports ? reportLen - 1 : reportLen;
  if (n > length) n = length;
  memcpy(data, report.data(), n);
  return static_cast<int>(n);
}

STANDIN_API int hid_read(hid_device* dev, unsigned char* data, size_t length) {
  return hid_read_timeout(dev, data, length, -1);
}
#endif

STANDIN_API int hid_set_nonblocking(hid_device* dev, int) { return Live(dev) ? 0 : -1; }

STANDIN_API int hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen) {
  if (!Live(dev) || !string || maxlen == 0) return -1;
  size_t i = 0;
  for (; i + 1 < maxlen && i < dev->cfg.serial.size(); ++i)
    string[i] = static_cast<unsigned char>(dev->cfg.serial[i]);
  string[i] = 0;
  return 0;
}

STANDIN_API const wchar_t* hid_error(hid_device*) { return L"simulated device error"; }

#ifndef STANDIN_HIDAPI_013
// hidapi 0.14 and later.
STANDIN_API int hid_get_report_descriptor(hid_device* dev, unsigned char* buf, size_t buf_size) {
  if (!Live(dev) || !buf || dev->cfg.noDesc) return -1;
  const std::vector<unsigned char> d = Descriptor(dev->cfg);
  if (d.size() > buf_size) return -1;
  memcpy(buf, d.data(), d.size());
  return static_cast<int>(d.size());
}
#endif
