#include "host/ini_file.h"

#include <gtest/gtest.h>

#include "host_test_support.h"

namespace veltra {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

const std::string kSample =
    "; clinic service\r\n"
    "[Config]\r\n"
    "MyFiles_Path=D:\\Files\\\r\n"
    "ProviderName = SQL Server \r\n"
    "Port_01=443\r\n"
    "Port_08=not a number\r\n"
    "Quoted=\"  padded  \"\r\n"
    "\r\n"
    "[other]\r\n"
    "Port_01=9\r\n";

TEST(IniFileTest, ReadsWithPrivateProfileRules) {
  TempDir dir;
  WriteFile(dir.path() / "a.ini", kSample);
  IniFile ini(dir.path() / "a.ini");
  struct Case { const char* name; const char* section; const char* key; std::string value; };
  const Case kCases[] = {
      {"exact names", "Config", "Port_01", "443"},
      {"section without regard to case", "config", "Port_01", "443"},
      {"key without regard to case", "CONFIG", "port_01", "443"},
      {"blanks around the value dropped", "config", "ProviderName", "SQL Server"},
      {"enclosing quotes dropped", "config", "Quoted", "  padded  "},
      {"backslashes kept", "config", "MyFiles_Path", "D:\\Files\\"},
      {"absent key is empty", "config", "Port_02", ""},
      {"absent section is empty", "none", "Port_01", ""},
      {"other section", "other", "Port_01", "9"},
      {"comment is no key", "config", "; clinic service", ""},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(ini.ReadKey(c.section, c.key), c.value) << c.name;
  }
}

TEST(IniFileTest, ValueCutAt2047CodeUnits) {
  TempDir dir;
  std::string persian;  // two bytes per character in UTF-8, one code unit each
  for (int i = 0; i < 2100; ++i) persian += "\xD8\xA8";
  WriteFile(dir.path() / "a.ini", "[config]\nLong=" + std::string(3000, 'x') + "\nWide=" + persian + "\n");
  IniFile ini(dir.path() / "a.ini");
  EXPECT_EQ(ini.ReadKey("config", "Long"), std::string(2047, 'x'));
  EXPECT_EQ(ini.ReadKey("config", "Wide").size(), 2047u * 2);
}

TEST(IniFileTest, MissingFileReadsEmpty) {
  TempDir dir;
  IniFile ini(dir.path() / "none.ini");
  EXPECT_EQ(ini.ReadKey("config", "Port_01"), "");
  EXPECT_FALSE(ini.HasKey("config", "Port_01"));
}

TEST(IniFileTest, WriteKeyChangesOnlyThatLine) {
  TempDir dir;
  const auto path = dir.path() / "a.ini";
  WriteFile(path, kSample);
  IniFile ini(path);
  ini.WriteKey("config", "port_01", "8080");
  std::string expected = kSample;
  expected.replace(expected.find("Port_01=443"), 11, "port_01=8080");
  EXPECT_EQ(ReadFile(path), expected);
  EXPECT_EQ(IniFile(path).ReadKey("other", "Port_01"), "9");
}

TEST(IniFileTest, WriteKeyAddsMissingKeyAndSection) {
  TempDir dir;
  const auto path = dir.path() / "a.ini";
  WriteFile(path, kSample);
  IniFile ini(path);
  ini.WriteKey("config", "Coding_Mode", "2");
  ini.WriteKey("console", "Log_Service", "True");
  IniFile again(path);
  EXPECT_EQ(again.ReadKey("config", "Coding_Mode"), "2");
  EXPECT_EQ(again.ReadKey("console", "Log_Service"), "True");
  EXPECT_EQ(again.ReadKey("config", "Port_08"), "not a number");
  const std::string text = ReadFile(path);
  // The new key joins its own section, before the blank line that ends it.
  EXPECT_NE(text.find("Quoted=\"  padded  \"\r\nCoding_Mode=2\r\n\r\n[other]"), std::string::npos)
      << text;
  EXPECT_NE(text.find("\r\n[console]\r\nLog_Service=True\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.rfind("; clinic service\r\n", 0), 0u);
}

TEST(IniFileTest, WriteKeyKeepsLfFiles) {
  TempDir dir;
  const auto path = dir.path() / "a.ini";
  WriteFile(path, "[config]\nPort_01=1\nPort_02=2");
  IniFile(path).WriteKey("config", "Port_02", "3");
  EXPECT_EQ(ReadFile(path), "[config]\nPort_01=1\nPort_02=3");
}

TEST(IniFileTest, WriteToUnwritablePlaceFails) {
  TempDir dir;
  IniFile ini(dir.path() / "no" / "such" / "folder.ini");
  try {
    ini.WriteKey("config", "Port_01", "1");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "Unable to write to " + (dir.path() / "no" / "such" / "folder.ini").string());
  }
}

}  // namespace
}  // namespace veltra
