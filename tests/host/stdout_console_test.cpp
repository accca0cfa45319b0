#include "host/stdout_console.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <vector>

#include "host_test_support.h"

namespace veltra {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

struct Captured {
  TempDir dir;
  std::FILE* file = nullptr;
  Captured() { file = std::fopen((dir.path() / "out.txt").string().c_str(), "w+b"); }
  ~Captured() { std::fclose(file); }
  std::string Text() { std::fflush(file); return ReadFile(dir.path() / "out.txt"); }
};

TEST(StdoutConsoleTest, MemoLinesAndBoxes) {
  Captured out;
  StdoutConsole console((out.dir.path() / "1.txt").string(), out.file);
  console.Append(Memo::kService, "10:15:02 SP_Per_Update_2224");
  console.Append(Memo::kService2, "id=1\r\nname=x\r\n");
  console.Append(Memo::kCommand, "c");
  console.Append(Memo::kConnect, "127.0.0.1");
  console.Append(Memo::kDisconnect, "127.0.0.1");
  console.MessageBox("Not found \n\rMySSL");
  console.ShowStartStop(true);
  EXPECT_EQ(out.Text(),
            "MS\t10:15:02 SP_Per_Update_2224\n"
            "MS2\tid=1\nMS2\tname=x\n"
            "Mem_Command\tc\n"
            "Mem_Connect\t127.0.0.1\n"
            "Mem_Disconnect\t127.0.0.1\n"
            "MessageBox\tNot found \\n\\rMySSL\n"
            "BB_Start_Stop\tStop\n");
}

TEST(StdoutConsoleTest, LinesFromManyThreadsNeverInterleave) {
  Captured out;
  StdoutConsole console((out.dir.path() / "1.txt").string(), out.file);
  std::vector<std::thread> threads;
  const std::string payload(500, 'p');
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) console.Append(Memo::kService, payload);
    });
  }
  for (auto& t : threads) t.join();
  std::string text = out.Text();
  std::size_t lines = 0, start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    EXPECT_EQ(text.substr(start, end - start), "MS\t" + payload);
    ++lines;
  }
  EXPECT_EQ(lines, 800u);
}

TEST(StdoutConsoleTest, SwitchesFromTheConsoleSection) {
  TempDir dir;
  WriteFile(dir.path() / "c.ini",
            "[config]\nLog_Service=True\n[Console]\nlog_service=1\nLog_Command=false\n"
            "Log_Connect=TRUE\nShow_Request=maybe\n");
  StdoutConsole console((dir.path() / "1.txt").string());
  console.LoadSwitches(IniFile(dir.path() / "c.ini"), true);
  struct Case { const char* name; Switch s; bool on; };
  const Case kCases[] = {
      {"number", Switch::kLogService, true},     {"False", Switch::kLogCommand, false},
      {"TRUE", Switch::kLogConnect, true},       {"not boolean", Switch::kShowRequest, false},
      {"absent", Switch::kShowResponse, false},  {"auto start", Switch::kAutoStart, true},
  };
  for (const auto& c : kCases) EXPECT_EQ(console.IsOn(c.s), c.on) << c.name;
}

TEST(StdoutConsoleTest, ConnectionLogKeepsEveryLineWithCrLf) {
  TempDir dir;
  const auto log = dir.path() / "1.txt";
  StdoutConsole console(log.string());
  console.AppendConnectionLog("10.0.0.1");
  EXPECT_EQ(ReadFile(log), "10.0.0.1\r\n");
  WriteFile(log, ReadFile(log) + "written by hand\n");
  console.AppendConnectionLog("10.0.0.2");
  EXPECT_EQ(ReadFile(log), "10.0.0.1\r\nwritten by hand\r\n10.0.0.2\r\n");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 25; ++i) console.AppendConnectionLog("127.0.0.1");
    });
  }
  for (auto& t : threads) t.join();
  const std::string text = ReadFile(log);
  std::size_t count = 0;
  for (std::size_t p = 0; (p = text.find("127.0.0.1\r\n", p)) != std::string::npos; ++p) ++count;
  EXPECT_EQ(count, 100u);
}

}  // namespace
}  // namespace veltra
