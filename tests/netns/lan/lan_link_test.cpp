// TCP link, discovery and name resolution inside the test network.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "lan_netns.h"
#include "platform/tick.h"
#include "sdk/lf_sdk.h"
#include "transport/tcp_socket_thread.h"

namespace tw::test {
namespace {

class Collector : public IByteSink {
 public:
  void OnByteReceived(uint8_t b) override {
    std::lock_guard<std::mutex> l(m_);
    bytes_.push_back(static_cast<char>(b));
  }
  std::string Text() {
    std::lock_guard<std::mutex> l(m_);
    return bytes_;
  }
  bool WaitFor(const std::string& want, uint32_t ms = 2000) {
    uint32_t start = TickCount();
    while (TicksSince(start) < ms) {
      if (Text() == want) return true;
      SleepMs(2);
    }
    return false;
  }

 private:
  std::mutex m_;
  std::string bytes_;
};

std::vector<std::string> SplitList(const char* buf, int used) {
  std::vector<std::string> out;
  for (int i = 0; i < used && buf[i];) {
    out.emplace_back(buf + i);
    i += static_cast<int>(out.back().size()) + 1;
  }
  return out;
}

class LanLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::string why = LanTestNet::Unavailable(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_TRUE(net_.Create(3)) << net_.Error();
    // 0: static reader named LINE7; 1: DHCP reader named LINE7; 2: DHCP device of another kind.
    // The data ports echo, so that the link is tested without the reader protocol.
    ASSERT_TRUE(net_.StartDevice(0, {"--lan-echo", "--lan-static", "--lan-name", "LINE7"})) << net_.Error();
    ASSERT_TRUE(net_.StartDevice(1, {"--lan-echo", "--lan-dhcp", "--lan-name", "LINE7", "--tcp", "4001",
                                     "--lan-mac", "02:54:57:00:00:02"}))
        << net_.Error();
    ASSERT_TRUE(net_.StartDevice(2, {"--lan-dhcp", "--lan-name", "PRINTER", "--lan-product", "XPORT-05",
                                     "--lan-mac", "02:54:57:00:00:03"}))
        << net_.Error();
    ASSERT_TRUE(net_.EnterHost());
  }
  LanTestNet net_;
};

TEST_F(LanLinkTest, DiscoveryListsEveryDeviceOnceAndTheNameCheckKeepsReaders) {
  char buf[512];
  int used = LF_SearchLanDevices(buf, sizeof buf);
  ASSERT_GT(used, 1);
  // Both adapters see all three devices; each is listed once.
  EXPECT_EQ(SplitList(buf, used),
            (std::vector<std::string>{"10.77.0.10-10001", "[LINE7]10.77.0.11-4001",
                                      "[PRINTER]10.77.0.12-10001"}));
  used = LF_SearchLanReaders(buf, sizeof buf);
  EXPECT_EQ(SplitList(buf, used), (std::vector<std::string>{"10.77.0.10-10001", "[LINE7]"}));
  // A list buffer too small for the first entry gets only the final NUL.
  char tiny[8];
  EXPECT_EQ(LF_SearchLanDevices(tiny, sizeof tiny), 1);
  EXPECT_EQ(tiny[0], 0);
}

TEST_F(LanLinkTest, NamesResolveToTheDhcpDeviceAndPortsFollowTheName) {
  CTCPSocket s;
  // The static device carries the same name but is never matched by it.
  EXPECT_EQ(s.ResolveIdentity("[LINE7]", 200), "10.77.0.11-4001");
  EXPECT_EQ(s.ResolveIdentity("[NOBODY]", 200), "");

  Collector got;
  CTCPSocketThread byName(&got);
  ASSERT_TRUE(byName.OpenLink("[LINE7]-9999"));  // the discovered port wins
  EXPECT_GE(byName.LinkId(), CTCPSocketThread::kFirstLinkId);
  EXPECT_EQ(byName.Socket().TargetHost(), "10.77.0.11");
  EXPECT_EQ(byName.Socket().TargetPort(), 4001u);
  byName.QueueSend({'h', 'i'});
  EXPECT_TRUE(got.WaitFor("hi"));  // the simulator's data port echoes

  Collector got2;
  CTCPSocketThread byAddress(&got2);
  ASSERT_TRUE(byAddress.OpenLink("10.77.0.10"));
  EXPECT_EQ(byAddress.Socket().TargetPort(), 10001u);
  EXPECT_NE(byAddress.LinkId(), byName.LinkId());
  byAddress.QueueSend({'o', 'k'});
  EXPECT_TRUE(got2.WaitFor("ok"));
  // The kernel's route decides the local side.
  EXPECT_TRUE(byAddress.Socket().BindAddress() == "10.77.0.1" ||
              byAddress.Socket().BindAddress() == "10.77.0.2");
  byName.CloseLink();
  byAddress.CloseLink();

  CTCPSocketThread wrongPort;
  EXPECT_FALSE(wrongPort.OpenLink("10.77.0.10-4001"));  // nothing listens there
  EXPECT_EQ(wrongPort.LinkId(), 0);
  CTCPSocketThread unknown;
  EXPECT_FALSE(unknown.OpenLink("[NOBODY]"));
}

TEST_F(LanLinkTest, ReconnectsOnceAfterTheReaderClosedTheConnection) {
  net_.LeaveHost();
  ASSERT_TRUE(net_.StartDevice(0, {"--lan-echo", "--lan-static", "--lan-close-after", "1"})) << net_.Error();
  ASSERT_TRUE(net_.EnterHost());
  Collector got;
  CTCPSocketThread link(&got);
  ASSERT_TRUE(link.OpenLink("10.77.0.10-10001"));
  link.QueueSend({'a'});
  ASSERT_TRUE(got.WaitFor("a"));
  // The device hangs up after its answer; the socket thread notices and closes its side.
  uint32_t start = TickCount();
  while (link.Socket().Connected() && TicksSince(start) < 2000) SleepMs(5);
  EXPECT_FALSE(link.Socket().Connected());
  link.QueueSend({'b'});
  EXPECT_TRUE(got.WaitFor("ab"));
  EXPECT_EQ(link.LinkId() >= CTCPSocketThread::kFirstLinkId, true);
  link.CloseLink();
}

TEST_F(LanLinkTest, OwnDatagramIsNotTakenAsAnAnswer) {
  // A responder on the host's own adapter answers record 0 requests; a socket bound to that
  // same address must not take the answer, while one bound to the other adapter does.
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  at.sin_port = htons(30718);
  inet_pton(AF_INET, "10.77.0.1", &at.sin_addr);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  std::atomic<bool> stop{false};
  std::thread responder([&] {
    timeval tv{0, 20000};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    while (!stop) {
      uint8_t buf[64];
      sockaddr_in from{};
      socklen_t len = sizeof from;
      if (recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len) < 4) continue;
      std::vector<uint8_t> answer(4 + 126, 0);
      answer[3] = 0xF9;
      sendto(fd, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
  });
  CTCPSocket own;
  own.EnumerateAdapters();
  ASSERT_TRUE(own.FirstAdapter());
  ASSERT_EQ(own.BindAddress(), "10.77.0.1");
  ASSERT_TRUE(own.OpenDatagramMode("10.77.0.1"));
  std::vector<uint8_t> rec;
  EXPECT_FALSE(own.QueryRecord(0, false, rec, false));

  CTCPSocket other;
  other.EnumerateAdapters();
  ASSERT_TRUE(other.FirstAdapter());
  ASSERT_TRUE(other.NextAdapter());
  EXPECT_FALSE(other.NextAdapter());  // two adapters, loopback not among them
  ASSERT_TRUE(other.OpenDatagramMode("10.77.0.1"));
  EXPECT_TRUE(other.QueryRecord(0, false, rec, false));
  EXPECT_EQ(rec.size(), 126u);
  stop = true;
  responder.join();
  close(fd);
}

TEST_F(LanLinkTest, PingAndDatagramLink) {
  EXPECT_EQ(LF_PingLanDevice("10.77.0.10:1"), 1);
  EXPECT_EQ(LF_PingLanDevice("[LINE7]-10001"), 1);
  EXPECT_EQ(LF_PingLanDevice("10.77.0.99"), 0);
  EXPECT_EQ(LF_PingLanDevice("[NOBODY]"), 0);
  EXPECT_EQ(LF_PingLanDevice(nullptr), 0);
  CTCPSocketThread link;
  ASSERT_TRUE(link.OpenDatagramLink("10.77.0.10"));
  EXPECT_GE(link.LinkId(), CTCPSocketThread::kFirstLinkId);
  std::vector<uint8_t> id;
  ASSERT_TRUE(link.IdentifyDevice(id));
  EXPECT_EQ(std::string(id.begin() + 11, id.begin() + 14), "TWG");
  link.CloseDatagramMode();
}

// A device that answers a search with a stream of made-up devices, none of which answers the
// name check: the search still ends within its bound and keeps the real reader.
TEST(LanFlood, SearchEndsWithinItsBoundAndKeepsTheRealReader) {
  if (std::string why = LanTestNet::Unavailable(); !why.empty()) GTEST_SKIP() << why;
  LanTestNet net;
  ASSERT_TRUE(net.Create(2)) << net.Error();
  ASSERT_TRUE(net.StartDevice(0, {"--lan-echo", "--lan-static", "--lan-name", "LINE7"})) << net.Error();
  ASSERT_TRUE(net.StartDevice(1, {"--lan-dhcp", "--lan-name", "FLOOD", "--lan-flood", "60000",
                                  "--lan-mac", "02:54:57:00:00:09"}))
      << net.Error();
  ASSERT_TRUE(net.EnterHost());
  std::vector<char> buf(65536);
  const uint32_t start = TickCount();
  const int used = LF_SearchLanReaders(buf.data(), static_cast<int>(buf.size()));
  const uint32_t took = TicksSince(start);
  EXPECT_LT(took, 15000u) << "a flood once stretched the search to minutes";
  const std::vector<std::string> found = SplitList(buf.data(), used);
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(found.front(), "10.77.0.10-10001");
  net.LeaveHost();
}

}  // namespace
}  // namespace tw::test
