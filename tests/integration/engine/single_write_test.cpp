// A single write of a decimal value with each type's default job against the simulator: the value
// lands in the tag's memory in the right block and byte order, the check after the write passes,
// and a read step shows the value again. Also counts the reader transactions per written tag.
#include <cstdio>

#include "engine_sim.h"
#include "platform/cp1252.h"

namespace tw::test {
namespace {

struct TypeCase {
  int type;
  const char* uid;  // as "tag add" takes it
};

const TypeCase kTypes[] = {
    {kTypeHitag1, "A1000001"},  {kTypeHitag2, "A2000002"},         {kTypeHitagS, "A4000004"},
    {kTypeHitagMu, "A10000000010"}, {kTypeAta5555, "A300000003"}, {kTypeAta5577, "010215E0A9000009"},
    {kTypeEm4305, "A8000008"},  {kTypeEm4450, "A6000006"},         {kTypeSic7888, "AC00000C"},
};

class SingleWriteTest : public EngineSimTest, public ::testing::WithParamInterface<TypeCase> {
 protected:
  void WriteChecksAndReadsBack(const char* reader);
};

// The same with a reader of the older generation (per-family command codes).
class LegacySingleWriteTest : public SingleWriteTest {
 protected:
  std::vector<std::string> SimArgs() const override { return {"--version", "043A"}; }
};

TEST_P(SingleWriteTest, WritesChecksAndReadsBack) { WriteChecksAndReadsBack("unified"); }
TEST_P(LegacySingleWriteTest, WritesChecksAndReadsBack) { WriteChecksAndReadsBack("legacy"); }

void SingleWriteTest::WriteChecksAndReadsBack(const char* reader) {
  const TypeCase tc = GetParam();
  job = DefaultJob(tc.type);
  job.valueText = "123456789";  // 075BCD15h
  std::string add = "tag add " + std::to_string(tc.type) + " " + tc.uid;
  // An older reader cannot switch to RF/32, the factory setting of the ATA5577: give it RF/64.
  if (std::string(reader) == "legacy" && tc.type == kTypeAta5577) add += " mem 0=001480E8";
  Ctl(add);
  sim.ClearTrace();

  engine.OnWriteSingle();
  const int transactions = static_cast<int>(Commands().size());
  ASSERT_EQ(Ids(), (std::vector<int>{kMsgWriteDone}));
  ASSERT_FALSE(view.lamps.empty());
  EXPECT_EQ(view.lamps.back(), LampState::Green);
  EXPECT_EQ(job.valueText, "123456790");
  auto mem = Dump();
  EXPECT_EQ(mem[job.startBlock], 0x075BCD15u) << "block " << job.startBlock;
  std::printf("[engine] %s reader, type %2d (%s): %d reader transactions per written tag\n",
              reader, tc.type, Cp1252ToUtf8(TypeNameFromCode(tc.type)).c_str(), transactions);
  RecordProperty("transactions", transactions);

  job.valueText = "0";
  view.Clear();
  engine.OnReadSingle();
  EXPECT_EQ(job.valueText, "123456789");
  EXPECT_EQ(view.values.back(), "123456789");
  EXPECT_TRUE(view.messages.empty());
}

std::string CaseName(const ::testing::TestParamInfo<TypeCase>& info) {
  return "Type" + std::to_string(info.param.type);
}
INSTANTIATE_TEST_SUITE_P(AllTypes, SingleWriteTest, ::testing::ValuesIn(kTypes), CaseName);
INSTANTIATE_TEST_SUITE_P(AllTypes, LegacySingleWriteTest, ::testing::ValuesIn(kTypes), CaseName);

TEST_F(EngineSimTest, MultiBlockHexRotatedRoundTrip) {
  job = DefaultJob(kTypeHitagS);
  job.startBlock = 4;
  job.byteCount = 6;
  job.numberFormat = kFormatHex;
  job.orientation = kOrientationRotated;
  job.autoIncrement = 0;
  job.valueText = "A1B2C3D4E5F6";
  Ctl("tag add hitags 0A0B0C0D");
  engine.OnWriteSingle();
  auto mem = Dump();
  EXPECT_EQ(mem[4], 0xD4C3B2A1u);  // most significant byte first
  EXPECT_EQ(mem[5], 0x0000F6E5u);
  job.valueText.clear();
  engine.OnReadSingle();
  EXPECT_EQ(job.valueText, "A1B2C3D4E5F6");
}

TEST_F(EngineSimTest, SingleWriteTwiceToSameTagWritesTwice) {
  job = DefaultJob(kTypeHitag1);
  job.valueText = "41";
  Ctl("tag add hitag1 11223344");
  engine.OnWriteSingle();
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgWriteDone, kMsgWriteDone}));
  EXPECT_EQ(Dump()[16], 42u);
  EXPECT_EQ(job.valueText, "43");
}

TEST_F(EngineSimTest, NoTagGives230AndRedStaysOff) {
  job = DefaultJob(kTypeHitag1);
  job.valueText = "1";
  engine.OnWriteSingle();
  EXPECT_EQ(Ids(), (std::vector<int>{kMsgNoValidTag}));
  EXPECT_EQ(job.valueText, "1");
}

}  // namespace
}  // namespace tw::test
