// The daemon as a black box: copied into a folder of its own with its configuration and
// certificates, started as a process, spoken to over loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "host/startup.h"
#include "host_test_support.h"

namespace veltra {
namespace {

using testing::Exchange;
using testing::FreePort;
using testing::ReadFile;
using testing::SimpleRequest;
using testing::TempDir;
using testing::WriteFile;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

class Daemon {
 public:
  explicit Daemon(const TempDir& dir) : dir_(dir.path()) {
    std::filesystem::copy_file(VELTRA_DAEMON_PATH, dir_ / "veltra-web-serviced",
                               std::filesystem::copy_options::overwrite_existing);
  }
  ~Daemon() {
    if (started_ && !Finished()) Signal("KILL");
  }
  void Start() {
    const std::string cmd = "cd '" + dir_.string() +
                            "' && (./veltra-web-serviced >out.txt 2>&1 & echo $! >pid; wait $!;"
                            " echo $? >rc.tmp; mv rc.tmp rc) >/dev/null 2>&1 &";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    started_ = true;
  }
  bool Finished() const { return std::filesystem::exists(dir_ / "rc"); }
  // Waits for the process to end; its exit code, or -1 when it did not end in time.
  int Wait(std::chrono::seconds limit = std::chrono::seconds(20)) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
      if (Finished()) return std::atoi(ReadFile(dir_ / "rc").c_str());
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
  }
  // Waits until the output holds `text` (or the process ends).
  bool WaitForOutput(const std::string& text, std::chrono::seconds limit = std::chrono::seconds(20)) {
    for (auto end = std::chrono::steady_clock::now() + limit; std::chrono::steady_clock::now() < end;) {
      if (Output().find(text) != std::string::npos) return true;
      if (Finished()) return Output().find(text) != std::string::npos;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  void Signal(const std::string& name) {
    for (int i = 0; i < 100 && !std::filesystem::exists(dir_ / "pid"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const std::string cmd = "kill -" + name + " " + ReadFile(dir_ / "pid") + " 2>/dev/null";
    std::system(cmd.c_str());
  }
  std::string Output() const { return ReadFile(dir_ / "out.txt"); }

 private:
  std::filesystem::path dir_;
  bool started_ = false;
};

struct DaemonTest : ::testing::Test {
  TempDir dir;
  std::unique_ptr<Daemon> daemon;
  std::uint16_t http_port = FreePort();

  void SetUp() override {
    daemon = std::make_unique<Daemon>(dir);
    testing::MakeCertificates(dir.path());
    std::filesystem::create_directories(dir.path() / "files");
  }
  bool HaveDatabase() const { return !Env("VELTRA_TEST_PG_HOST").empty(); }
  // The configuration with the private cluster and `ports` for Port_01 .. Port_07.
  void Configure(const std::vector<std::string>& ports, const std::string& extra = "",
                 const std::string& auto_start = "0") {
    std::string ini = "; test configuration\r\n[config]\r\n";
    ini += "MyFiles_Path=" + (dir.path() / "files").string() + "\r\n";
    ini += "Auto_Start=" + auto_start + "\r\n";
    ini += "ProviderName=PostgreSQL\r\n";
    ini += "DataBase_Server=" + Env("VELTRA_TEST_PG_HOST") + "," + Env("VELTRA_TEST_PG_PORT") + "\r\n";
    ini += "Database_Name=" + Env("VELTRA_TEST_PG_DB") + "\r\n";
    ini += "DataBase_Username=" + Env("VELTRA_TEST_PG_USER") + "\r\n";
    ini += "DataBase_Password=" +
           PasswordShift(Env("VELTRA_TEST_PG_PASSWORD"), ShiftDirection::kHide) + "\r\n";
    ini += "Coding_Mode=2\r\n";
    for (int i = 0; i < 7; ++i) ini += "Port_0" + std::to_string(i + 1) + "=" + ports[i] + "\r\n";
    ini += "Port_08=reserved\r\n";
    ini += extra;
    WriteFile(dir.path() / "config" / "web_service_config.ini", ini);
  }
  void StartRunning() {
    daemon->Start();
    ASSERT_TRUE(daemon->WaitForOutput("BB_Start_Stop\tStop")) << daemon->Output();
  }
};

#define REQUIRE_DATABASE()                                                   \
  if (!HaveDatabase()) GTEST_SKIP() << "VELTRA_TEST_PG_* not set (scripts/test sets them)"

TEST_F(DaemonTest, HttpsOn443AndHttpElsewhere) {
  REQUIRE_DATABASE();
  Configure({"443", std::to_string(http_port), "0", "0", "0", "0", "0"});
  StartRunning();
  const std::string out = daemon->Output();
  EXPECT_NE(out.find("Label_Restart_Time\t2026/01/02  "), std::string::npos) << out;
  EXPECT_NE(out.find("SB_A\tVeltra Web Service  PostgreSQL : "), std::string::npos) << out;
  auto secure = Exchange(443, SimpleRequest("GET", "/"), true);
  EXPECT_EQ(secure.status, 200);
  EXPECT_EQ(secure.body, "<HTML><BODY><B>200 OK</B></BODY></HTML>");
  EXPECT_NE(Exchange(443, SimpleRequest("GET", "/"), false, std::chrono::seconds(5)).status, 200);
  auto plain = Exchange(http_port, SimpleRequest("GET", "/"));
  EXPECT_EQ(plain.status, 200);
  EXPECT_EQ(plain.Header("Content-Type"), "text/html; charset=utf-8");
  EXPECT_FALSE(Exchange(http_port, SimpleRequest("GET", "/"), true, std::chrono::seconds(5)).received);
  auto preflight = Exchange(http_port, SimpleRequest("OPTIONS", "/", "",
                                                     "Origin: http://a\r\nAccess-Control-Request-Method: POST\r\n"));
  EXPECT_EQ(preflight.status, 200);
  EXPECT_EQ(preflight.body, "<HTML><BODY><B>200 OK</B></BODY></HTML>");
  EXPECT_EQ(preflight.Header("Access-Control-Allow-Origin"), "");
  auto head = Exchange(http_port, SimpleRequest("HEAD", "/"));
  EXPECT_EQ(head.status, 200);
  EXPECT_TRUE(head.body.empty());

  daemon->Signal("TERM");
  EXPECT_EQ(daemon->Wait(), 0) << daemon->Output();
  EXPECT_FALSE(Exchange(http_port, SimpleRequest("GET", "/")).received);
}

TEST_F(DaemonTest, LimitsHoldAndServingGoesOn) {
  REQUIRE_DATABASE();
  Configure({std::to_string(http_port), "0", "0", "0", "0", "0", "0"},
            "Max_Header_Bytes=2048\r\nMax_Body_Bytes=4096\r\nRead_Timeout_Seconds=1\r\n"
            "[console]\r\nLog_Connect=True\r\n");
  StartRunning();
  EXPECT_EQ(Exchange(http_port, SimpleRequest("GET", "/", "", "X-Big: " + std::string(8000, 'h') + "\r\n")).status, 431);
  EXPECT_EQ(Exchange(http_port, SimpleRequest("POST", "/", std::string(10000, 'b'))).status, 413);
  EXPECT_FALSE(Exchange(http_port, "GET / HTTP/1.1\r\n", false, std::chrono::seconds(10)).received);
  EXPECT_EQ(Exchange(http_port, SimpleRequest("GET", "/")).status, 200);
  // Listener 1 with "Log Conect Disconnect": one log line per connection, CR LF.
  ASSERT_TRUE(daemon->WaitForOutput("Mem_Disconnect\t127.0.0.1"));
  const std::string log = ReadFile(dir.path() / "1.txt");
  EXPECT_EQ(log.find("127.0.0.1\r\n"), 0u) << log;
  daemon->Signal("INT");
  EXPECT_EQ(daemon->Wait(), 0);
}

TEST_F(DaemonTest, NoActivePort) {
  REQUIRE_DATABASE();
  Configure({"0", "0", "0", "0", "0", "-1", "0"});
  daemon->Start();
  EXPECT_NE(daemon->Wait(), 0);
  EXPECT_NE(daemon->Output().find("MessageBox\tThere is no active port \n"), std::string::npos)
      << daemon->Output();
}

TEST_F(DaemonTest, StartupFailuresEndTheProcess) {
  struct Case { const char* name; std::string setup; std::string message; };
  const Case kCases[] = {
      {"missing certificate", "cert", "MessageBox\tNot found Certificat Files \\n\\rMySSL\\Cabundle.crt"
                                      "\\n\\rMySSL\\CRT.crt\\n\\rMySSL\\Private-key.crt\\n\\rin root path\n"},
      {"value that does not convert", "bool", "MessageBox\t'maybe' is not a valid boolean value\n"},
      {"no configuration file", "noini", "MessageBox\t Not FileExists : "},
  };
  for (const auto& c : kCases) {
    TempDir local;
    Daemon d(local);
    testing::MakeCertificates(local.path());
    std::string ini = "[config]\r\nMyFiles_Path=" + local.path().string() +
                      "\r\nAuto_Start=" + (c.setup == "bool" ? "maybe" : "0") +
                      "\r\nCoding_Mode=0\r\nPort_01=" + std::to_string(http_port) +
                      "\r\nPort_02=0\r\nPort_03=0\r\nPort_04=0\r\nPort_05=0\r\nPort_06=0\r\nPort_07=0\r\n";
    if (c.setup != "noini") WriteFile(local.path() / "config" / "web_service_config.ini", ini);
    if (c.setup == "cert") std::filesystem::remove(local.path() / "MySSL" / "Cabundle.crt");
    d.Start();
    EXPECT_NE(d.Wait(), 0) << c.name;
    EXPECT_NE(d.Output().find(c.message), std::string::npos) << c.name << ": " << d.Output();
    EXPECT_EQ(d.Output().find("BB_Start_Stop\tStop"), std::string::npos) << c.name;
  }
}

}  // namespace
}  // namespace veltra
