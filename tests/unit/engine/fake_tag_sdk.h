// A scripted stand-in for the reader SDK: one tag with a block memory, scripted login results, and
// a log of every call in a compact text form, so tests can check the order of calls of a step.
#pragma once
#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "job/job_engine_sdk.h"

namespace tw::test {

inline std::string Hex(const CMyByteArray& b) {
  std::string s;
  char buf[4];
  for (uint8_t v : b) {
    std::snprintf(buf, sizeof buf, "%02X", v);
    s += buf;
  }
  return s;
}

class FakeTagSdk : public ITagSdk {
 public:
  bool present = true;
  CMyByteArray uid{0x11, 0x22, 0x33, 0x44};
  CMyByteArray authAnswer{0x00, 0x00, 0x00, 0x06};
  int lastError = 0;
  int modulation = 0;
  int detectResult = 0;
  int uidWithPasswordError = 0;  // non-zero: LF_ReadUidWithPassword fails with this code
  std::map<int, CMyByteArray> blocks;  // block -> 4 bytes; a missing block fails to read
  std::set<int> failWrite;             // blocks whose write fails
  int lostAnswer = 0;                  // non-zero: the next write is done, but fails with this code
  bool leaveAfterWrite = false;        // the tag leaves the field right after the next write
  std::deque<int> loginResults;        // results of the next PasswordLogin calls (default 0)
  std::deque<int> authResults;         // -1 entries make the next Authenticate calls fail
  std::deque<int> changeResults;       // results of ChangePassword (default 0)
  std::vector<std::string> calls;
  // Called at the start of every WriteBlocks (e.g. to act like a UI event during the wait).
  std::function<void()> onWrite;

  std::vector<std::string> CallsStartingWith(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }

  int GetLastError(int) override { return lastError; }
  int SetKeepUiEnabled(int, int flag) override {
    calls.push_back("KeepUi " + std::to_string(flag));
    return 1;
  }
  int ReadUid(int, int type, CMyByteArray& out, int size) override {
    calls.push_back("ReadUid " + std::to_string(type));
    if (!present) return Fail(out, 0x81);
    out = uid;
    if (static_cast<int>(out.size()) > size) out.resize(size);
    return static_cast<int>(out.size());
  }
  int Authenticate(int, int type, const CMyByteArray& p, CMyByteArray& out, int) override {
    calls.push_back("Auth " + std::to_string(type) + " " + Hex(p));
    if (!present) return Fail(out, 0x81);
    if (!authResults.empty()) {
      const int r = authResults.front();
      authResults.pop_front();
      if (r == -1) return Fail(out, 0x82);
    }
    out = authAnswer;
    return 4;
  }
  int KeyAuthenticate(int, int type, const CMyByteArray& k, CMyByteArray& out, int) override {
    calls.push_back("KeyAuth " + std::to_string(type) + " " + Hex(k));
    if (!present) return Fail(out, 0x81);
    out = {0, 0, 0, 0};
    return 4;
  }
  int PasswordLogin(int, int type, const CMyByteArray& p) override {
    calls.push_back("Login " + std::to_string(type) + " " + Hex(p));
    int r = 0;
    if (!loginResults.empty()) {
      r = loginResults.front();
      loginResults.pop_front();
    }
    if (r == -1) lastError = 0x83;
    return r;
  }
  int ChangePassword(int, int, const CMyByteArray& o, const CMyByteArray& n) override {
    calls.push_back("ChangePw " + Hex(o) + " " + Hex(n));
    int r = 0;
    if (!changeResults.empty()) {
      r = changeResults.front();
      changeResults.pop_front();
    }
    return r;
  }
  int ReadUidWithPassword(int, int type, const CMyByteArray& p, CMyByteArray& out,
                          int size) override {
    calls.push_back("ReadUidPw " + std::to_string(type) + " " + Hex(p));
    if (uidWithPasswordError) return Fail(out, uidWithPasswordError);
    return ReadUidQuiet(out, size);
  }
  int ReadBlocks(int, int type, int first, CMyByteArray& out, int size) override {
    calls.push_back("Read " + std::to_string(type) + " " + std::to_string(first) + " " +
                    std::to_string(size));
    if (!present) return Fail(out, 0x81);
    out.clear();
    for (int b = first; static_cast<int>(out.size()) < size; ++b) {
      auto it = blocks.find(b);
      if (it == blocks.end()) return Fail(out, 0x84);
      out.insert(out.end(), it->second.begin(), it->second.end());
    }
    out.resize(size);
    return size;
  }
  int WriteBlocks(int, int type, int first, const CMyByteArray& d, int lock) override {
    calls.push_back("Write " + std::to_string(type) + " " + std::to_string(first) + " " + Hex(d) +
                    " " + std::to_string(lock));
    if (onWrite) onWrite();
    if (!present) return FailPlain(0x81);
    for (size_t i = 0; i < d.size(); i += 4) {
      const int b = first + static_cast<int>(i / 4);
      if (failWrite.count(b)) return FailPlain(0x85);
      CMyByteArray chunk(d.begin() + i, d.begin() + std::min(d.size(), i + 4));
      chunk.resize(4, 0);
      blocks[b] = chunk;
    }
    if (leaveAfterWrite) present = leaveAfterWrite = false;
    if (lostAnswer != 0) return FailPlain(std::exchange(lostAnswer, 0));
    return 0;
  }
  int ResetTransponder(int, int type) override {
    calls.push_back("Reset " + std::to_string(type));
    return 0;
  }
  int DetectModulation(int, int type, int m) override {
    calls.push_back("Detect " + std::to_string(type) + " " + std::to_string(m));
    return detectResult;
  }
  int GetModulation(int) override {
    calls.push_back("GetMod");
    return modulation;
  }
  int SetModulation(int, int m) override {
    calls.push_back("SetMod " + std::to_string(m));
    modulation = m;
    return 0;
  }
  int LockBlock(int, int type, int block) override {
    calls.push_back("Lock " + std::to_string(type) + " " + std::to_string(block));
    return 0;
  }

 private:
  int ReadUidQuiet(CMyByteArray& out, int size) {
    if (!present) return Fail(out, 0x81);
    out = uid;
    if (static_cast<int>(out.size()) > size) out.resize(size);
    return static_cast<int>(out.size());
  }
  int Fail(CMyByteArray& out, int code) {
    out.clear();
    lastError = code;
    return -1;
  }
  int FailPlain(int code) {
    lastError = code;
    return -1;
  }
};

inline CMyByteArray Word(uint32_t w) {
  return {uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(w >> 24)};
}

}  // namespace tw::test
