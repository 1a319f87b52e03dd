#include "shell/ini_ex.h"

#include <fcntl.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/tick.h"
#include "shell/atomic_file.h"
#include "shell/file_prims.h"

namespace tw {
namespace {

// Larger files are no settings files; reading them whole would only cost memory.
constexpr off_t kMaxFileBytes = 64 << 20;

}  // namespace

unsigned char FoldCaseCp1252(unsigned char c) {
  if (c >= 'a' && c <= 'z') return static_cast<unsigned char>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<unsigned char>(c - 0x20);
  switch (c) {
    case 0x9A:
      return 0x8A;  // š
    case 0x9C:
      return 0x8C;  // œ
    case 0x9E:
      return 0x8E;  // ž
    case 0xFF:
      return 0x9F;  // ÿ
    default:
      return c;
  }
}

namespace {

bool SameFile(int fd, const std::string& path) {
  FileStat a, b;
  return StatFd(fd, a) && StatFile(path, b) && a.dev == b.dev && a.ino == b.ino;
}

}  // namespace

bool EqualsNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (FoldCaseCp1252(static_cast<unsigned char>(a[i])) != FoldCaseCp1252(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

int ParseProfileInt(const std::string& value) {
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || (value[i] >= '\t' && value[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  long long n = 0;
  for (; i < value.size() && value[i] >= '0' && value[i] <= '9'; ++i) {
    n = n * 10 + (value[i] - '0');
    if (n > static_cast<long long>(INT_MAX) + 1) break;  // saturates below
  }
  if (negative) n = -n;
  if (n > INT_MAX) return INT_MAX;
  if (n < INT_MIN) return INT_MIN;
  return static_cast<int>(n);
}

CIniEx::~CIniEx() {
  if (writable_ && !path_.empty()) Save();
}

bool CIniEx::Open(const std::string& path) {
  const uint32_t start = TickCount();
  for (;;) {
    bool writable = true;
    int fd = OpenFile(path, O_RDWR | O_CREAT, 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
      // A read-only settings file is still read; it is just never written back.
      fd = OpenFile(path, O_RDONLY, 0);
      writable = false;
    }
    if (fd < 0) return false;
    FileStat st;
    if (!StatFd(fd, st) || !st.regular || st.size > kMaxFileBytes) {
      CloseFile(fd);
      return false;
    }
    int left = kLockWaitMs - static_cast<int>(TicksSince(start));
    bool locked = LockFileWithin(fd, false, left > 0 ? left : 0);
    if (locked && !SameFile(fd, path) && TicksSince(start) < static_cast<uint32_t>(kLockWaitMs)) {
      // Replaced by a writer while we waited: read the new file instead.
      CloseFile(fd);
      continue;
    }
    std::string text;
    bool ok = ReadWholeFile(fd, text);
    CloseFile(fd);
    if (!ok && text.empty()) return false;
    path_ = path;
    writable_ = writable;
    if (!text.empty()) ParseText(text);
    return true;
  }
}

void CIniEx::ParseText(const std::string& text) {
  std::string sectionName;
  if (currentSection_ >= 0 && static_cast<size_t>(currentSection_) < sections_.size())
    sectionName = sections_[static_cast<size_t>(currentSection_)].name;
  size_t pos = 0;
  const size_t n = text.size();
  while (pos < n) {
    while (pos < n && (text[pos] == '\r' || text[pos] == '\n')) ++pos;
    if (pos >= n) break;
    size_t end = pos;
    while (end < n && text[end] != '\r' && text[end] != '\n') ++end;
    std::string line = text.substr(pos, end - pos);
    pos = end;

    while (!line.empty() && line.back() == '\t') line.pop_back();
    if (line.size() > 1 && line.front() == '[' && line.back() == ']') {
      ++currentSection_;
      sectionName = line.substr(1, line.size() - 2);
      continue;
    }
    std::string name, value;
    if (!line.empty() && line.front() == ';') {
      name = line;
    } else {
      size_t eq = line.find('=');
      if (eq == std::string::npos) {
        name = line;
      } else {
        name = line.substr(0, eq);
        value = line.substr(eq + 1);
      }
      while (!name.empty() && name.back() == ' ') name.pop_back();
      size_t lead = value.find_first_not_of(' ');
      value.erase(0, lead == std::string::npos ? value.size() : lead);
    }
    if (currentSection_ < 0) currentSection_ = 0;
    const size_t idx = static_cast<size_t>(currentSection_);
    while (sections_.size() <= idx) sections_.emplace_back();
    CSection& s = sections_[idx];
    s.name = sectionName;
    s.entryNames.push_back(std::move(name));
    s.entryValues.push_back(std::move(value));
  }
}

int CIniEx::FindSection(const std::string& section) const {
  for (size_t i = 0; i < sections_.size(); ++i)
    if (EqualsNoCase(sections_[i].name, section)) return static_cast<int>(i);
  return -1;
}

int CIniEx::FindEntry(const CSection& s, const std::string& entry) {
  for (size_t i = s.entryNames.size(); i-- > 0;)
    if (EqualsNoCase(s.entryNames[i], entry)) return static_cast<int>(i);
  return -1;
}

std::string CIniEx::GetProfileString(const std::string& section, const std::string& entry,
                                     const std::string& def) const {
  int si = FindSection(section);
  if (si < 0) return def;
  const CSection& s = sections_[static_cast<size_t>(si)];
  int ei = FindEntry(s, entry);
  return ei < 0 ? def : s.entryValues[static_cast<size_t>(ei)];
}

int CIniEx::GetProfileInt(const std::string& section, const std::string& entry, int def) const {
  int si = FindSection(section);
  if (si < 0) return def;
  const CSection& s = sections_[static_cast<size_t>(si)];
  int ei = FindEntry(s, entry);
  if (ei < 0) return def;
  const std::string& v = s.entryValues[static_cast<size_t>(ei)];
  return v.empty() ? def : ParseProfileInt(v);
}

void CIniEx::WriteProfileString(const std::string& section, const std::string& entry,
                                const std::string& value) {
  int si = FindSection(section);
  if (si < 0) {
    ++currentSection_;
    if (currentSection_ < static_cast<int>(sections_.size()))
      currentSection_ = static_cast<int>(sections_.size());
    modified_ = true;
    const size_t idx = static_cast<size_t>(currentSection_);
    while (sections_.size() <= idx) sections_.emplace_back();
    sections_[idx].name = section;
    si = currentSection_;
  }
  CSection& s = sections_[static_cast<size_t>(si)];
  int ei = FindEntry(s, entry);
  if (ei < 0) {
    modified_ = true;
    s.entryNames.push_back(entry);
    s.entryValues.push_back(value);
    return;
  }
  std::string& stored = s.entryValues[static_cast<size_t>(ei)];
  if (!EqualsNoCase(stored, value)) modified_ = true;
  stored = value;
}

bool CIniEx::HasEntry(const std::string& section, const std::string& entry) const {
  int si = FindSection(section);
  return si >= 0 && FindEntry(sections_[static_cast<size_t>(si)], entry) >= 0;
}

void CIniEx::WriteProfileInt(const std::string& section, const std::string& entry, int value) {
  WriteProfileString(section, entry, std::to_string(value));
}

std::string CIniEx::ToText() const {
  std::string out;
  for (const CSection& s : sections_) {
    if (!s.name.empty()) out += "[" + s.name + "]\r\n";
    for (size_t i = 0; i < s.entryNames.size(); ++i) {
      const std::string& name = s.entryNames[i];
      if (!name.empty() && name.front() == ';') {
        out += name;
      } else {
        out += name;
        if (!name.empty()) out += '=';
        out += s.entryValues[i];
      }
      out += "\r\n";
    }
  }
  return out;
}

bool CIniEx::Save() {
  if (!modified_) return true;
  if (path_.empty() || !writable_) return false;
  // Another process of ours may be reading or replacing the same file: wait for it, bounded.
  int fd = OpenFile(path_, O_RDONLY, 0);
  if (fd >= 0) LockFileWithin(fd, true, kLockWaitMs);
  bool ok = ReplaceFileAtomically(path_, ToText());
  if (fd >= 0) CloseFile(fd);
  if (ok) modified_ = false;
  return ok;
}

CPrivateProfile::CPrivateProfile(const std::string& path) { Open(path); }

}  // namespace tw
