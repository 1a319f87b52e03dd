// A running tagwright-sim announces its terminal and the serial list finds it; once it ends, or
// when told not to, the list no longer holds it.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "sdk/lf_sdk.h"
#include "sys_tree.h"
#include "tests/support/sim_process.h"
#include "transport/port_enum.h"

using tw::test::SimProcess;
using tw::test::SysTree;
using Strings = std::vector<std::string>;

namespace {

class SimRegistration : public ::testing::Test {
 protected:
  void SetUp() override {
    tree.Dir("/registry");
    chmod(tree.Path("/registry").c_str(), 0700);
    setenv("TAGWRIGHT_SIM_REGISTRY", tree.Path("/registry").c_str(), 1);
  }
  void TearDown() override { unsetenv("TAGWRIGHT_SIM_REGISTRY"); }

  // The serial list of this machine, as the interface dialog gets it.
  static Strings SystemList() {
    std::vector<char> buf(1 << 16);
    const int used = LF_EnumSerialPorts(buf.data(), static_cast<int>(buf.size()));
    Strings out;
    for (int pos = 0; pos < used - 1; pos += static_cast<int>(out.back().size()) + 1)
      out.emplace_back(buf.data() + pos);
    return out;
  }
  static bool Holds(const Strings& list, const std::string& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
  }
  size_t RegistryFiles() const {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator(tree.Path("/registry"))) {
      (void)e;
      ++n;
    }
    return n;
  }

  SysTree tree;
};

TEST_F(SimRegistration, RunningSimulatorIsListedUntilItEnds) {
  SimProcess sim;
  ASSERT_TRUE(sim.Start());
  const std::string entry = sim.PtyPath() + tw::kSimPortSuffix;
  EXPECT_TRUE(Holds(SystemList(), entry));
  EXPECT_EQ(RegistryFiles(), 1u);
  sim.Stop();
  EXPECT_FALSE(Holds(SystemList(), entry));
  EXPECT_EQ(RegistryFiles(), 0u);
}

TEST_F(SimRegistration, NoRegisterKeepsItOutOfTheList) {
  SimProcess sim;
  ASSERT_TRUE(sim.Start({"--no-register"}));
  EXPECT_FALSE(Holds(SystemList(), sim.PtyPath() + tw::kSimPortSuffix));
  EXPECT_EQ(RegistryFiles(), 0u);
}

// Pseudo-terminals have no device behind them: the only ones listed are simulators'.
TEST_F(SimRegistration, OtherPseudoTerminalsOfThisMachineAreNotListed) {
  SimProcess quiet;
  ASSERT_TRUE(quiet.Start({"--no-register"}));
  for (const std::string& e : SystemList()) {
    EXPECT_NE(e.rfind("/dev/pts/", 0) == 0 && e.find(tw::kSimPortSuffix) == std::string::npos,
              true)
        << e;
  }
}

}  // namespace
