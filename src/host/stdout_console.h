// The daemon's console: memo lines go to standard output as "<memo>\t<line>", message boxes
// as "MessageBox\t<text>" (dismissed at once), the Start/Stop caption as
// "BB_Start_Stop\t<caption>". The switches come from the optional [console] section of the
// configuration file and never change while the process runs.
#pragma once

#include <cstdio>
#include <mutex>
#include <set>
#include <string>

#include "host/console.h"
#include "host/ini_file.h"

namespace veltra {

inline constexpr std::string_view kConsoleSection = "console";

// Serialises AppendConnectionLog across the process.
std::mutex& ConnectionLogLock();

// Reads the whole file (when it exists), appends `line` and writes every line back with CR LF.
void AppendLineToFile(const std::string& path, std::string_view line);

class StdoutConsole : public Console {
 public:
  // `out` defaults to standard output; `connection_log` is the connection log's path.
  StdoutConsole(std::string connection_log, std::FILE* out = stdout);

  // Log_Service, Log_Command, Log_Connect, Show_Request, Show_Response from [console]
  // (boolean texts; absent or unrecognised is off), and Auto Start.
  void LoadSwitches(const IniFile& ini, bool auto_start);
  void Set(Switch s, bool on);

  bool IsOn(Switch s) const override;
  void Append(Memo m, std::string_view line) override;
  void MessageBox(std::string_view text) override;
  void AppendConnectionLog(std::string_view line) override;
  void ShowStartStop(bool running) override;

  // One or more output lines "<label>\t<line>" for other window parts (SB_A, L_Date, ...).
  void Write(std::string_view label, std::string_view text);

 private:

  const std::string connection_log_;
  std::FILE* const out_;
  mutable std::mutex mutex_;  // guards on_ and every write to out_
  std::set<Switch> on_;
};

}  // namespace veltra
