// The operator's console as the handlers see it: six switches, five memos, modal message
// boxes and the connection log. The Qt window and the daemon's standard output implement it;
// tests use RecordingConsole (tests/support).
#pragma once

#include <string>
#include <string_view>

#include "host/clock.h"

namespace veltra {

enum class Switch {
  kLogService,    // CB_LS "Log Service"
  kLogCommand,    // CB_LC "Log Command"
  kLogConnect,    // CB_LCD "Log Conect Disconnect"
  kShowRequest,   // CB_Show_Request "Show Request"
  kShowResponse,  // CB_Show_Response "Show Response"
  kAutoStart,     // CB_Auto_Start "Auto Start"
};

enum class Memo {
  kService,     // MS
  kService2,    // MS2
  kCommand,     // Mem_Command
  kConnect,     // Mem_Connect
  kDisconnect,  // Mem_Disconnect
};

class Console {
 public:
  virtual ~Console() = default;
  virtual bool IsOn(Switch s) const = 0;
  // Safe from any thread; one call is one line, never interleaved with another.
  virtual void Append(Memo m, std::string_view line) = 0;
  // Modal: holds the calling thread until the operator dismisses it.
  virtual void MessageBox(std::string_view text) = 0;
  // Appends one line to the connection log file (under ConnectionLogLock).
  virtual void AppendConnectionLog(std::string_view line) = 0;
  // Caption and colour of BB_Start_Stop: "Stop" green when running, "Start" red otherwise.
  // Called from any thread; the window hands it to its own thread.
  virtual void ShowStartStop(bool running) = 0;
};

// While "Log Service" is ticked: one line to MS, the local time (long time format)
// immediately followed by `literal`.
inline void LogService(Console& console, const Clock& clock, std::string_view literal) {
  if (!console.IsOn(Switch::kLogService)) return;
  std::string line = FormatLongTime(clock.Now());
  line += literal;
  console.Append(Memo::kService, line);
}

// While "Log Service" is ticked: `text` as a line of its own in MS.
inline void LogServiceRaw(Console& console, std::string_view text) {
  if (console.IsOn(Switch::kLogService)) console.Append(Memo::kService, text);
}

}  // namespace veltra
