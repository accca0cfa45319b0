#include "host/stdout_console.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "wire/text.h"

namespace veltra {
namespace {

std::string_view MemoName(Memo m) {
  switch (m) {
    case Memo::kService: return "MS";
    case Memo::kService2: return "MS2";
    case Memo::kCommand: return "Mem_Command";
    case Memo::kConnect: return "Mem_Connect";
    case Memo::kDisconnect: return "Mem_Disconnect";
  }
  return "MS";
}

// Splits at CR LF, CR or LF, as a memo does when a line holding breaks is added.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  for (;;) {
    auto end = text.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(text.substr(start));
      return lines;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    if (start == text.size()) return lines;
  }
}

}  // namespace

std::mutex& ConnectionLogLock() {
  static std::mutex lock;
  return lock;
}

void AppendLineToFile(const std::string& path, std::string_view line) {
  std::string text;
  {
    std::ifstream in(path, std::ios::binary);
    if (in) text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string out;
  if (!text.empty()) {
    for (auto l : SplitLines(text)) {
      out += l;
      out += "\r\n";
    }
  }
  out += line;
  out += "\r\n";
  // Written beside and renamed over, so a failure halfway never loses the earlier lines.
  const std::string temp = path + ".tmp";
  {
    std::ofstream f(temp, std::ios::binary | std::ios::trunc);
    f.write(out.data(), static_cast<std::streamsize>(out.size()));
    f.flush();
    if (!f) throw std::runtime_error("Unable to write to " + temp);
  }
  std::filesystem::rename(temp, path);
}

StdoutConsole::StdoutConsole(std::string connection_log, std::FILE* out)
    : connection_log_(std::move(connection_log)), out_(out) {}

void StdoutConsole::LoadSwitches(const IniFile& ini, bool auto_start) {
  const std::pair<const char*, Switch> keys[] = {
      {"Log_Service", Switch::kLogService},     {"Log_Command", Switch::kLogCommand},
      {"Log_Connect", Switch::kLogConnect},     {"Show_Request", Switch::kShowRequest},
      {"Show_Response", Switch::kShowResponse},
  };
  for (const auto& [key, s] : keys) {
    Set(s, TryStrToBool(Trim(ini.ReadKey(kConsoleSection, key))).value_or(false));
  }
  Set(Switch::kAutoStart, auto_start);
}

void StdoutConsole::Set(Switch s, bool on) {
  std::lock_guard lock(mutex_);
  if (on) on_.insert(s); else on_.erase(s);
}

bool StdoutConsole::IsOn(Switch s) const {
  std::lock_guard lock(mutex_);
  return on_.count(s) != 0;
}

void StdoutConsole::Write(std::string_view prefix, std::string_view text) {
  std::string out;
  for (auto line : SplitLines(text)) {
    out += prefix;
    out += '\t';
    out += line;
    out += '\n';
  }
  std::lock_guard lock(mutex_);
  std::fwrite(out.data(), 1, out.size(), out_);
  std::fflush(out_);
}

void StdoutConsole::Append(Memo m, std::string_view line) { Write(MemoName(m), line); }

void StdoutConsole::MessageBox(std::string_view text) {
  // One box is one output line: its own line breaks are written as \r and \n.
  std::string flat;
  for (char c : text) {
    if (c == '\r') flat += "\\r";
    else if (c == '\n') flat += "\\n";
    else flat += c;
  }
  Write("MessageBox", flat);
}

void StdoutConsole::AppendConnectionLog(std::string_view line) {
  std::lock_guard lock(ConnectionLogLock());
  AppendLineToFile(connection_log_, line);
}

void StdoutConsole::ShowStartStop(bool running) {
  Write("BB_Start_Stop", running ? "Stop" : "Start");
}

}  // namespace veltra
