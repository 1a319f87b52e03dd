// Shared helpers of the transponder model tests: readers of both generations and a field driven with
// command bytes as the host sends them.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "sim/transponders/tag_model.h"
#include "sim/transponders/transponder_field.h"

namespace tw::sim::test {

inline SimReaderState UnifiedReader() { return SimReaderState{0x03F3, 0}; }  // e.g. model 243h
inline SimReaderState LegacyReader() { return SimReaderState{0x0073, 0}; }   // e.g. model 040h
inline SimReaderState OldestReader() { return SimReaderState{0x0000, 0}; }   // capability word 0

class FieldTest : public ::testing::Test {
 protected:
  std::string Ctl(const std::string& line) {
    std::string reply;
    EXPECT_TRUE(field.HandleControl(line, reply)) << line;
    return reply;
  }
  void Add(const std::string& args) {
    std::string r = Ctl("tag add " + args);
    ASSERT_EQ(r.rfind("ok", 0), 0u) << r;
  }
  SimAnswer Cmd(uint8_t cmd, const Bytes& params, SimReaderState& reader) {
    SimAnswer a;
    EXPECT_TRUE(field.Handle(cmd, params, reader, a)) << "command " << int(cmd);
    return a;
  }
  uint32_t Word(int block) { return field.TagInField()->Word(block); }

  TransponderField field;
};

// Concatenation (element by element: g++ 12 warns wrongly about inserting into small vectors).
inline Bytes Cat(const Bytes& a, const Bytes& b) {
  Bytes r;
  for (uint8_t x : a) r.push_back(x);
  for (uint8_t x : b) r.push_back(x);
  return r;
}

}  // namespace tw::sim::test
