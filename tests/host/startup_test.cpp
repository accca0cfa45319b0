#include "host/startup.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "host_test_support.h"
#include "tests/support/recording_console.h"

namespace veltra {
namespace {

using testing::FakeClock;
using testing::RecordingConsole;
using testing::TempDir;
using testing::WriteFile;

TEST(PasswordShiftTest, HidesAndReveals) {
  struct Case { const char* name; std::string plain; std::string hidden; };
  const Case kCases[] = {
      {"abc", "abc", "cce"},
      {"empty", "", ""},
      {"one character", "a", "c"},
      {"digits", "1234", "3355"},
      {"wraps at 16 bits", "\xEF\xBF\xBF", "\x01"},  // U+FFFF + 2
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(PasswordShift(c.plain, ShiftDirection::kHide), c.hidden) << c.name;
    EXPECT_EQ(PasswordShift(c.hidden, ShiftDirection::kReveal), c.plain) << c.name;
  }
  EXPECT_EQ(PasswordShift(std::string("ab\0cd", 5), ShiftDirection::kHide), "cc");
  // A supplementary character is two code units, each shifted by its own position.
  EXPECT_EQ(PasswordShift(PasswordShift("x\xF0\x9F\x98\x80y", ShiftDirection::kHide),
                          ShiftDirection::kReveal),
            "x\xF0\x9F\x98\x80y");
}

std::string Config(const std::string& overrides_or_body) { return "[config]\r\n" + overrides_or_body; }

// A configuration that converts, with keys replaced or removed by `changes` (key -> value,
// a value of "\x01" removes the key).
std::string GoodConfig(const std::string& files, std::map<std::string, std::string> changes = {}) {
  std::vector<std::pair<std::string, std::string>> keys = {
      {"MyFiles_Path", files},       {"Auto_Start", "0"},
      {"ProviderName", "SQL Server"}, {"DataBase_Server", "db1"},
      {"Database_Name", "clinic"},   {"DataBase_Username", "sa"},
      {"DataBase_Password", "cce"},  {"Coding_Mode", "2"},
      {"Port_01", "443"},            {"Port_02", "0"},
      {"Port_03", "0"},              {"Port_04", "0"},
      {"Port_05", "8085"},           {"Port_06", "-1"},
      {"Port_07", "0"},              {"Port_08", "not a number"},
  };
  std::string body;
  for (auto& [k, v] : keys) {
    auto it = changes.find(k);
    if (it != changes.end()) {
      if (it->second == "\x01") continue;
      v = it->second;
    }
    body += k + "=" + v + "\r\n";
  }
  for (auto& [k, v] : changes) {
    bool known = false;
    for (auto& [kk, vv] : keys) known = known || kk == k;
    if (!known) body += k + "=" + v + "\r\n";
  }
  return Config(body);
}

struct StartupFixture : ::testing::Test {
  TempDir dir;
  RecordingConsole console;
  FakeClock clock{{2026, 12, 11, 10, 15, 2, 0}};
  TServiceSettings settings;

  StartupResult Run(const std::string& ini, StartupHook* hook = nullptr) {
    WriteFile(dir.path() / "config" / "web_service_config.ini", ini);
    return RunStartup(dir.folder(), settings, console, clock, hook);
  }
  std::string Files() {
    std::filesystem::create_directories(dir.path() / "files");
    return (dir.path() / "files").string();
  }
};

TEST_F(StartupFixture, MissingConfigurationEndsTheProcess) {
  StartupResult r = RunStartup(dir.folder(), settings, console, clock, nullptr);
  EXPECT_EQ(r.outcome, StartupOutcome::kEndProcess);
  EXPECT_EQ(console.Boxes(),
            std::vector<std::string>{" Not FileExists : " + dir.folder() + "config/web_service_config.ini"});
}

TEST_F(StartupFixture, ReadsEveryKeyAndBindsPositivePorts) {
  struct Hook : StartupHook {
    int calls = 0;
    void OnStartup() override { ++calls; }
  } hook;
  StartupResult r = Run(GoodConfig(Files()), &hook);
  ASSERT_EQ(r.outcome, StartupOutcome::kComplete);
  EXPECT_TRUE(console.Boxes().empty());
  EXPECT_EQ(hook.calls, 1);
  EXPECT_EQ(settings.ExeFolder, dir.folder());
  EXPECT_EQ(settings.DataBase_Password, "abc");
  EXPECT_EQ(settings.Coding_Mode, 2);
  EXPECT_EQ(settings.Port[7], "not a number");
  EXPECT_EQ(settings.EmptyProcParams, "'0','0','0','0','0','0','0'");
  EXPECT_EQ(r.bound_ports, (std::array<int, 7>{443, 0, 0, 0, 8085, 0, 0}));
  EXPECT_EQ(r.status_text,
            "Veltra Web Service  SQL Server : db1   DB : clinic   Port : 443 0 0 0 8085 -1 0   Code : 2");
  EXPECT_EQ(r.date_text, "2026/12/11");
  EXPECT_FALSE(r.geometry.has_value());
  EXPECT_FALSE(r.auto_start);
  EXPECT_EQ(settings.Max_Body_Bytes, 256ull << 20);
}

TEST_F(StartupFixture, ConversionFailuresStopTheSequence) {
  struct Case { const char* name; std::string key; std::string value; std::string message; };
  const Case kCases[] = {
      {"Auto_Start not boolean", "Auto_Start", "yes", "'yes' is not a valid boolean value"},
      {"Auto_Start empty", "Auto_Start", "", "'' is not a valid boolean value"},
      {"Auto_Start absent", "Auto_Start", "\x01", "'' is not a valid boolean value"},
      {"Coding_Mode not integer", "Coding_Mode", "two", "'two' is not a valid integer value"},
      {"Coding_Mode absent", "Coding_Mode", "\x01", "'' is not a valid integer value"},
      {"Coding_Mode out of 16 bits", "Coding_Mode", "40000", "Range check error"},
      {"port not integer", "Port_03", "80a", "'80a' is not a valid integer value"},
      {"port absent", "Port_07", "\x01", "'' is not a valid integer value"},
      {"port above 65535", "Port_02", "70000", "Range check error"},
      {"optional limit not integer", "Max_Body_Bytes", "lots", "'lots' is not a valid integer value"},
      {"optional limit negative", "Read_Timeout_Seconds", "-5", "Range check error"},
  };
  for (const auto& c : kCases) {
    RecordingConsole local;
    TServiceSettings s;
    WriteFile(dir.path() / "config" / "web_service_config.ini", GoodConfig(Files(), {{c.key, c.value}}));
    StartupResult r = RunStartup(dir.folder(), s, local, clock, nullptr);
    EXPECT_EQ(r.outcome, StartupOutcome::kConversionError) << c.name;
    EXPECT_EQ(local.Boxes(), std::vector<std::string>{c.message}) << c.name;
    EXPECT_EQ(r.bound_ports, (std::array<int, 7>{})) << c.name;
    EXPECT_TRUE(r.status_text.empty()) << c.name;
  }
}

TEST_F(StartupFixture, AcceptedValues) {
  struct Case { const char* name; std::string key; std::string value; };
  const Case kCases[] = {
      {"coding mode 3", "Coding_Mode", "3"},
      {"negative coding mode", "Coding_Mode", "-32768"},
      {"hexadecimal port", "Port_02", "$1F90"},
      {"port with leading blanks", "Port_02", "  8080"},
      {"Auto_Start word in any case", "Auto_Start", "tRUE"},
      {"Auto_Start any non-zero number", "Auto_Start", "-1"},
      {"reserved port holds anything", "Port_12", "x"},
  };
  for (const auto& c : kCases) {
    RecordingConsole local;
    TServiceSettings s;
    WriteFile(dir.path() / "config" / "web_service_config.ini", GoodConfig(Files(), {{c.key, c.value}}));
    EXPECT_EQ(RunStartup(dir.folder(), s, local, clock, nullptr).outcome, StartupOutcome::kComplete)
        << c.name;
    EXPECT_TRUE(local.Boxes().empty()) << c.name;
  }
}

TEST_F(StartupFixture, HexPortAndAutoStart) {
  StartupResult r = Run(GoodConfig(Files(), {{"Port_02", "0x1F90"}, {"Auto_Start", "True"}}));
  EXPECT_EQ(r.bound_ports[1], 8080);
  EXPECT_TRUE(r.auto_start);
}

TEST_F(StartupFixture, MissingFilesFolderIsOnlyReported) {
  const std::string missing = (dir.path() / "nowhere").string();
  StartupResult r = Run(GoodConfig(missing));
  EXPECT_EQ(r.outcome, StartupOutcome::kComplete);
  EXPECT_EQ(console.Boxes(),
            std::vector<std::string>{" not DirectoryExists  MyFiles_Path   " + missing});
}

TEST_F(StartupFixture, EmptyPasswordRevealsEmpty) {
  Run(GoodConfig(Files(), {{"DataBase_Password", ""}}));
  EXPECT_EQ(settings.DataBase_Password, "");
}

TEST_F(StartupFixture, OptionalKeysOfOurOwn) {
  Run(GoodConfig(Files(), {{"Max_Body_Bytes", "1024"},
                           {"Max_Header_Bytes", "2048"},
                           {"Read_Timeout_Seconds", "3"},
                           {"Max_Connections", "4"},
                           {"Ansi_Code_Page", "1252"},
                           {"Pool_Size", "5"},
                           {"Tamin_CA_File", "ca.pem"}}));
  EXPECT_EQ(settings.Max_Body_Bytes, 1024u);
  EXPECT_EQ(settings.Max_Header_Bytes, 2048u);
  EXPECT_EQ(settings.Read_Timeout_Seconds, 3u);
  EXPECT_EQ(settings.Max_Connections, 4u);
  EXPECT_EQ(settings.Ansi_Code_Page, 1252);
  EXPECT_EQ(settings.Pool_Size, 5u);
  EXPECT_EQ(settings.Tamin_CA_File, "ca.pem");
}

TEST_F(StartupFixture, GeometryFile) {
  WriteGeometry(dir.folder(), {10, 20, 300, 400});
  EXPECT_EQ(testing::ReadFile(dir.path() / "Temp" / "mf" / "mf_Location_Size.txt"),
            "10\r\n20\r\n300\r\n400\r\n");
  StartupResult r = Run(GoodConfig(Files()));
  ASSERT_TRUE(r.geometry.has_value());
  EXPECT_EQ(r.geometry->top, 10);
  EXPECT_EQ(r.geometry->left, 20);
  EXPECT_EQ(r.geometry->height, 300);
  EXPECT_EQ(r.geometry->width, 400);
  WriteFile(dir.path() / "Temp" / "mf" / "mf_Location_Size.txt", "10\r\n20\r\nbig\r\n");
  EXPECT_FALSE(ReadGeometry(dir.folder()).has_value());
}

TEST(PortNumberTest, Conversions) {
  EXPECT_EQ(PortNumber("443"), 443);
  EXPECT_EQ(PortNumber("-5"), -5);
  EXPECT_EQ(PortNumber("65535"), 65535);
  EXPECT_THROW(PortNumber("65536"), ConversionError);
  EXPECT_THROW(PortNumber(""), ConversionError);
}

}  // namespace
}  // namespace veltra
