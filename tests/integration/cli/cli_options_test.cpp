// The command line of tagwright-cli without a process: type names, numbers and ranges that must be
// refused before a reader is touched, and overrides applied in order on top of the loaded job.
#include "cli/cli_options.h"

#include <gtest/gtest.h>

namespace tw::cli {
namespace {

bool Parse(std::vector<std::string> args, CliOptions& o, std::string& error) {
  args.insert(args.begin(), "tagwright-cli");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  return ParseCommandLine(static_cast<int>(argv.size()), argv.data(), o, error);
}

TEST(CliOptions, TypeNamesCodesAndSpellings) {
  EXPECT_EQ(ParseTypeName("hitag1"), kTypeHitag1);
  EXPECT_EQ(ParseTypeName("Hitag S"), kTypeHitagS);
  EXPECT_EQ(ParseTypeName("hitagmu"), kTypeHitagMu);
  EXPECT_EQ(ParseTypeName("Hitag \xC2\xB5"), kTypeHitagMu);  // UTF-8 µ from a shell
  EXPECT_EQ(ParseTypeName("q5"), kTypeAta5555);
  EXPECT_EQ(ParseTypeName("ATA5555"), kTypeAta5555);
  EXPECT_EQ(ParseTypeName("ata5577"), kTypeAta5577);
  EXPECT_EQ(ParseTypeName("titan"), kTypeEm4450);
  EXPECT_EQ(ParseTypeName("12"), kTypeSic7888);
  // Codes and names the job does not offer, and prefixes too short to name one type.
  EXPECT_EQ(ParseTypeName("7"), 0);
  EXPECT_EQ(ParseTypeName("hitag"), 0);
  EXPECT_EQ(ParseTypeName("ata"), 0);
  EXPECT_EQ(ParseTypeName(""), 0);
}

TEST(CliOptions, BadValuesAreRefusedNamingTheOption) {
  const std::vector<std::vector<std::string>> bad = {{"write", "--bytes", "0"},
                                                     {"write", "--bytes", "4x"},
                                                     {"write", "--bytes", "-4"},
                                                     {"write", "--start-block", "99999999999999999999"},
                                                     {"write", "--read-protect", "3-256"},
                                                     {"write", "--autoread", "a-b"},
                                                     {"write", "--password", "12345678A"},
                                                     {"write", "--auth-key", "XYZ"},
                                                     {"write", "--lock", "maybe"},
                                                     {"write", "--cycle-time", "50"},
                                                     {"write", "--count"},
                                                     {"write", "--json=1"},
                                                     {"write", "--lang", "fr"},
                                                     {"write", "-x"},
                                                     {"write", "--format", "oct"},
                                                     {"write", "--modulation", "9"}};
  for (const auto& args : bad) {
    CliOptions o;
    std::string error;
    EXPECT_FALSE(Parse(args, o, error)) << args[1];
    EXPECT_NE(error.find(args[1].substr(0, args[1].find('='))), std::string::npos) << error;
  }
}

TEST(CliOptions, OverridesApplyInOrderOnTheLoadedJob) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(Parse(
      {"write", "--type", "em4450", "--value=12", "--read-protect", "3-9", "--autoread", "5", "--import",
       "data.csv", "--no-import", "--log", "w.txt", "--no-log", "--count", "3", "--port", "/dev/ttyUSB0"},
      o, error))
      << error;
  EXPECT_EQ(o.command, "write");
  EXPECT_EQ(o.count, 3);
  EXPECT_EQ(o.port, "/dev/ttyUSB0");
  JobParams job;
  job.autoIncrement = 1;
  job.logWrites = 1;
  ASSERT_TRUE(ApplyJobOptions(o.jobOptions, job, error)) << error;
  EXPECT_EQ(job.transponderType, kTypeEm4450);
  EXPECT_EQ(job.valueText, "12");
  EXPECT_EQ(job.readProtectFirst, 3u);
  EXPECT_EQ(job.readProtectLast, 9u);
  EXPECT_EQ(job.autoreadFirst, 5u);
  EXPECT_EQ(job.autoreadLast, 5u);
  // --import turned counting off and --no-import the import; the file name stays for later.
  EXPECT_EQ(job.importData, 0);
  EXPECT_EQ(job.autoIncrement, 0);
  EXPECT_EQ(job.logWrites, 0);
  EXPECT_EQ(job.writeLogFile, "w.txt");
}

TEST(CliOptions, ValueTextBecomesWindows1252) {
  CliOptions o;
  std::string error;
  ASSERT_TRUE(Parse({"write", "--value", "Gr\xC3\xBC\xC3\x9F"}, o, error));
  JobParams job;
  ASSERT_TRUE(ApplyJobOptions(o.jobOptions, job, error));
  EXPECT_EQ(job.valueText, "Gr\xFC\xDF");
}

}  // namespace
}  // namespace tw::cli
