// Capability word of the simulated reader's model, from its version answer.
#include "sim/core/sim_capability.h"

#include <gtest/gtest.h>

#include <string>

namespace tw::sim {
namespace {

uint16_t Cap(const std::string& v) {
  return SimCapabilityFromVersion(std::vector<uint8_t>(v.begin(), v.end()));
}

TEST(SimCapability, VersionAnswers) {
  struct Row {
    const char* answer;
    uint16_t cap;
  } rows[] = {
      {"2439", 0x03F3}, {"243a", 0x03F3}, {"243z", 0x07F3}, {"2432", 0x01F3}, {"2422", 0x0103},
      {"0291", 0x0001}, {"029E", 0x0073}, {"029D", 0x0033}, {"029C", 0x0013}, {"0287", 0x0003},
      {"5400", 0x0303}, {"5430", 0x07F3}, {"0010", 0x0010}, {"0100", 0x0000}, {"2539", 0x03F3},
      {"2519", 0x0303}, {"5550", 0x07F3}, {"5510", 0x0303}, {"2190", 0x0033}, {"219E", 0x0073},
      {"2730", 0x0103}, {"2310", 0x03F3}, {"2840", 0x03F3}, {"2F00", 0x0000}, {"1X30", 0x0010},
  };
  for (const Row& r : rows) EXPECT_EQ(Cap(r.answer), r.cap) << r.answer;
}

TEST(SimCapability, ShortAndTextAnswers) {
  EXPECT_EQ(Cap(""), 0);
  EXPECT_EQ(Cap("243"), 0);
  EXPECT_EQ(Cap("QZ reader"), 0x0103);
}

TEST(SimCapability, RevisionCharacters) {
  EXPECT_EQ(SimRevisionValue('0'), 0);
  EXPECT_EQ(SimRevisionValue('Z'), 35);
  EXPECT_EQ(SimRevisionValue('a'), 36);
  EXPECT_EQ(SimRevisionValue('z'), 61);
  EXPECT_EQ(SimRevisionValue('#'), 255);
}

}  // namespace
}  // namespace tw::sim
