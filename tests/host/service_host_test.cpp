#include "host/service_host.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "host_test_support.h"
#include "tests/support/recording_console.h"

namespace veltra {
namespace {

using testing::Exchange;
using testing::FakeClock;
using testing::FreePort;
using testing::RecordingConsole;
using testing::SimpleRequest;
using testing::TempDir;

const std::string kMissingCertificates =
    "Not found Certificat Files \n\rMySSL\\Cabundle.crt\n\rMySSL\\CRT.crt\n\rMySSL\\Private-key.crt"
    "\n\rin root path";

struct RecordingView : HostView {
  std::mutex mutex;
  std::vector<std::string> restart_times;
  std::vector<std::string> clocks;
  std::vector<bool> clock_running;
  void ShowRestartTime(std::string_view t) override { std::lock_guard l(mutex); restart_times.emplace_back(t); }
  void ShowClock(std::string_view t) override { std::lock_guard l(mutex); clocks.emplace_back(t); }
  void ShowClockRunning(bool r) override { std::lock_guard l(mutex); clock_running.push_back(r); }
};

struct ServiceHostTest : ::testing::Test {
  TempDir dir;
  TServiceSettings settings;
  RecordingConsole console;
  FakeClock clock{{2026, 12, 11, 10, 15, 2, 0}};
  RecordingView view;
  std::atomic<int> date_calls{0};
  std::atomic<bool> database_down{false};
  std::atomic<int> end_calls{0};
  std::unique_ptr<ServiceHost> host;
  std::uint16_t port1 = 0, port2 = 0;

  void SetUp() override {
    testing::MakeCertificates(dir.path());
    settings.ExeFolder = dir.folder();
    port1 = FreePort();
    port2 = FreePort();
    SetPorts({std::to_string(port1), std::to_string(port2), "0", "0", "0", "-3", "0"});
    host = std::make_unique<ServiceHost>(settings, console, clock, [this] {
      ++date_calls;
      if (database_down) throw std::runtime_error("connection refused");
      return std::string("1405/09/20");
    }, &view);
    host->OnEndProcess([this] { ++end_calls; });
  }
  void SetPorts(const std::vector<std::string>& ports) {
    for (std::size_t i = 0; i < ports.size(); ++i) settings.Port[i] = ports[i];
  }
  void BindFromSettings() {
    std::array<int, 7> bound{};
    for (int i = 0; i < 7; ++i) {
      int p = std::atoi(settings.Port[i].c_str());
      bound[i] = p > 0 ? p : 0;
    }
    host->Bind(bound);
  }
  bool Answers(std::uint16_t port) { return Exchange(port, SimpleRequest("GET", "/")).status == 200; }
};

TEST_F(ServiceHostTest, StartThenStop) {
  BindFromSettings();
  EXPECT_FALSE(host->Running());
  EXPECT_EQ(host->RestartLabel(), "----");
  ASSERT_EQ(host->StartStop(), ActionResult::kStarted);
  EXPECT_TRUE(console.Boxes().empty());
  EXPECT_TRUE(host->Running());
  EXPECT_TRUE(host->TimerEnabled());
  EXPECT_TRUE(host->ListenerActive(1));
  EXPECT_TRUE(host->ListenerActive(2));
  EXPECT_FALSE(host->ListenerActive(6));  // a negative port is never started
  EXPECT_TRUE(Answers(port1));
  EXPECT_TRUE(Answers(port2));
  EXPECT_EQ(host->RestartLabel(), "1405/09/20  10:15:02");
  EXPECT_EQ(console.StartStop(), std::vector<bool>{true});
  EXPECT_EQ(view.clock_running, std::vector<bool>{true});

  clock.Set({2026, 12, 11, 11, 0, 0, 0});
  ASSERT_EQ(host->StartStop(), ActionResult::kStopped);
  EXPECT_FALSE(host->Running());
  EXPECT_FALSE(host->TimerEnabled());
  EXPECT_FALSE(host->ListenerActive(1));
  EXPECT_FALSE(Answers(port1));
  EXPECT_EQ(host->RestartLabel(), "1405/09/20  11:00:00");  // Stop refreshes the label too
  EXPECT_EQ(console.StartStop(), (std::vector<bool>{true, false}));
  EXPECT_EQ(view.clock_running, (std::vector<bool>{true, false}));
  EXPECT_EQ(date_calls, 2);
}

TEST_F(ServiceHostTest, ActionsThatChangeNothing) {
  struct Case {
    const char* name;
    std::vector<std::string> ports;
    bool database_down;
    const char* missing_file;  // under MySSL
    ActionResult result;
    std::string message;
  };
  const Case kCases[] = {
      {"no active port", {"0", "0", "0", "0", "0", "-1", "0"}, false, nullptr,
       ActionResult::kNoActivePort, "There is no active port "},
      {"database unreachable", {"1", "0", "0", "0", "0", "0", "0"}, true, nullptr,
       ActionResult::kFailed, "connection refused"},
      {"port text not an integer", {"8o80", "0", "0", "0", "0", "0", "0"}, false, nullptr,
       ActionResult::kFailed, "'8o80' is not a valid integer value"},
      {"missing CA bundle", {"1", "0", "0", "0", "0", "0", "0"}, false, "Cabundle.crt",
       ActionResult::kEndProcess, kMissingCertificates},
      {"missing key", {"1", "0", "0", "0", "0", "0", "0"}, false, "Private-key.crt",
       ActionResult::kEndProcess, kMissingCertificates},
  };
  for (const auto& c : kCases) {
    RecordingConsole local;
    TServiceSettings s = settings;
    for (int i = 0; i < 7; ++i) s.Port[i] = c.ports[i];
    TempDir other;
    testing::MakeCertificates(other.path());
    s.ExeFolder = other.folder();
    if (c.missing_file) std::filesystem::remove(other.path() / "MySSL" / c.missing_file);
    int ends = 0;
    ServiceHost h(s, local, clock, [&]() -> std::string {
      if (c.database_down) throw std::runtime_error("connection refused");
      return "d";
    });
    h.OnEndProcess([&] { ++ends; });
    h.Bind({1, 0, 0, 0, 0, 0, 0});
    EXPECT_EQ(h.StartStop(), c.result) << c.name;
    EXPECT_EQ(local.Boxes(), std::vector<std::string>{c.message}) << c.name;
    EXPECT_FALSE(h.Running()) << c.name;
    EXPECT_FALSE(h.ListenerActive(1)) << c.name;
    EXPECT_TRUE(local.StartStop().empty()) << c.name;
    EXPECT_EQ(ends, c.result == ActionResult::kEndProcess ? 1 : 0) << c.name;
  }
}

TEST_F(ServiceHostTest, ListenerThatCannotStartStopsTheOrder) {
  // Listener 2's port is taken: listener 1 keeps running, listener 3 is not started.
  HttpListener squatter(9, console);
  squatter.Start(port2, CertificateFiles(dir.folder()));
  const std::uint16_t port3 = FreePort();
  settings.Port[2] = std::to_string(port3);
  BindFromSettings();
  EXPECT_EQ(host->StartStop(), ActionResult::kFailed);
  EXPECT_EQ(console.Boxes(),
            std::vector<std::string>{"Could not bind socket. Address and port are already in use."});
  EXPECT_TRUE(host->ListenerActive(1));
  EXPECT_FALSE(host->ListenerActive(3));
  EXPECT_FALSE(host->Running());
  squatter.Stop();
  // Pressing Start again retries; the running listener is left as it is.
  EXPECT_EQ(host->StartStop(), ActionResult::kStarted);
  EXPECT_TRUE(host->ListenerActive(2));
  EXPECT_TRUE(host->ListenerActive(3));
}

TEST_F(ServiceHostTest, UnloadableCertificateFailsTheStart) {
  testing::WriteFile(dir.path() / "MySSL" / "CRT.crt", "not a certificate");
  BindFromSettings();
  EXPECT_EQ(host->StartStop(), ActionResult::kFailed);
  ASSERT_EQ(console.Boxes().size(), 1u);
  EXPECT_NE(console.Boxes()[0].find("Could not load certificate"), std::string::npos);
  EXPECT_FALSE(host->ListenerActive(1));
}

TEST_F(ServiceHostTest, WithoutStartupBindingsNothingStarts) {
  EXPECT_EQ(host->StartStop(), ActionResult::kFailed);
  EXPECT_FALSE(host->ListenerActive(1));
  EXPECT_EQ(console.Boxes().size(), 1u);
}

TEST_F(ServiceHostTest, DailyRestartAtOneSecondPastMidnight) {
  BindFromSettings();
  ASSERT_EQ(host->StartStop(), ActionResult::kStarted);
  struct Step { const char* name; LocalDateTime at; int date_calls_after; };
  const Step kSteps[] = {
      {"an ordinary second", {2026, 12, 11, 23, 59, 59, 0}, 1},
      {"midnight itself", {2026, 12, 12, 0, 0, 0, 0}, 1},
      {"one second past midnight", {2026, 12, 12, 0, 0, 1, 0}, 3},
      {"the next second", {2026, 12, 12, 0, 0, 2, 0}, 3},
  };
  for (const auto& s : kSteps) {
    clock.Set(s.at);
    host->Tick();
    EXPECT_EQ(date_calls, s.date_calls_after) << s.name;
    EXPECT_TRUE(host->Running()) << s.name;
  }
  EXPECT_EQ(host->RestartLabel(), "1405/09/20  00:00:01");
  EXPECT_EQ(console.StartStop(), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(view.clocks.back(), "00:00:02");
  EXPECT_TRUE(Answers(port1));
}

TEST_F(ServiceHostTest, SkippedSecondMeansNoRestart) {
  BindFromSettings();
  ASSERT_EQ(host->StartStop(), ActionResult::kStarted);
  clock.Set({2026, 12, 12, 0, 0, 0, 0});
  host->Tick();
  clock.Set({2026, 12, 12, 0, 0, 2, 0});
  host->Tick();
  EXPECT_EQ(date_calls, 1);
  EXPECT_EQ(console.StartStop(), std::vector<bool>{true});
}

TEST_F(ServiceHostTest, TimerIdleWhileStopped) {
  BindFromSettings();
  clock.Set({2026, 12, 12, 0, 0, 1, 0});
  host->Tick();
  EXPECT_EQ(date_calls, 0);
  EXPECT_TRUE(view.clocks.empty());
}

TEST_F(ServiceHostTest, DatabaseDownAtMidnightKeepsListenersRunning) {
  BindFromSettings();
  ASSERT_EQ(host->StartStop(), ActionResult::kStarted);
  database_down = true;
  clock.Set({2026, 12, 12, 0, 0, 1, 0});
  host->Tick();
  EXPECT_TRUE(host->Running());
  EXPECT_TRUE(Answers(port1));
  EXPECT_EQ(console.Boxes(), std::vector<std::string>{"connection refused"});
}

TEST_F(ServiceHostTest, PortCommandsActOnListenerOneAlone) {
  BindFromSettings();
  ASSERT_EQ(host->StartStop(), ActionResult::kStarted);
  PortControl& control = *host;
  control.StopListener1();
  EXPECT_FALSE(host->ListenerActive(1));
  EXPECT_TRUE(host->ListenerActive(2));
  EXPECT_FALSE(host->Running());       // the caption reads "Start"
  EXPECT_TRUE(host->TimerEnabled());   // the timer keeps its state
  EXPECT_FALSE(Answers(port1));
  EXPECT_TRUE(Answers(port2));
  control.StartListener1();
  EXPECT_TRUE(host->ListenerActive(1));
  EXPECT_TRUE(host->Running());
  EXPECT_TRUE(Answers(port1));
  control.StartListener1();  // no change when it already runs
  EXPECT_TRUE(Answers(port1));
  EXPECT_EQ(console.StartStop(), (std::vector<bool>{true, false, true, true}));
}

TEST_F(ServiceHostTest, DailyRestartAfterRemoteStopStartsEverything) {
  BindFromSettings();
  ASSERT_EQ(host->StartStop(), ActionResult::kStarted);
  host->StopListener1();
  clock.Set({2026, 12, 12, 0, 0, 1, 0});
  host->Tick();
  EXPECT_TRUE(host->Running());
  EXPECT_TRUE(host->ListenerActive(1));
  EXPECT_TRUE(host->ListenerActive(2));
  EXPECT_TRUE(Answers(port1));
}

TEST_F(ServiceHostTest, HandlersByListenerNumber) {
  host->SetHandler(2, [](const HttpRequest&, HttpResponse& res) { res.body = "two"; });
  BindFromSettings();
  ASSERT_EQ(host->StartStop(), ActionResult::kStarted);
  EXPECT_EQ(Exchange(port2, SimpleRequest("GET", "/")).body, "two");
  EXPECT_EQ(Exchange(port1, SimpleRequest("GET", "/")).body, std::string(kDefaultBody));
}

}  // namespace
}  // namespace veltra
