#include "host/platform.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <ctime>
#include <filesystem>
#include <thread>

#include "host/clock.h"

#ifdef _WIN32
#define NOMINMAX
#include <windows.h>
#include <shellapi.h>
#else
#include <spawn.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
#endif

namespace veltra {

LocalDateTime SystemClock::Now() const {
  LocalDateTime t;
#ifdef _WIN32
  SYSTEMTIME st;
  GetLocalTime(&st);
  t = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
#else
  timeval tv{};
  gettimeofday(&tv, nullptr);
  std::tm tm{};
  time_t secs = tv.tv_sec;
  localtime_r(&secs, &tm);
  t = {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
       static_cast<int>(tv.tv_usec / 1000)};
#endif
  return t;
}

std::string ExecutablePath() {
#ifdef _WIN32
  std::wstring buffer(32768, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  buffer.resize(n);
  return std::filesystem::path(buffer).string();
#else
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : p.string();
#endif
}

std::string ExecutableFolder() {
  std::filesystem::path p(ExecutablePath());
  std::string folder = p.parent_path().string();
  if (folder.empty() || folder.back() != std::filesystem::path::preferred_separator) {
    folder += static_cast<char>(std::filesystem::path::preferred_separator);
  }
  return folder;
}

std::string HostName() {
#ifdef _WIN32
  wchar_t buffer[256];
  DWORD size = 256;
  if (!GetComputerNameW(buffer, &size)) return {};
  std::wstring name(buffer, size);
  int n = WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), nullptr, 0,
                              nullptr, nullptr);
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, name.data(), static_cast<int>(name.size()), out.data(), n,
                      nullptr, nullptr);
  return out;
#else
  char buffer[256] = {};
  if (gethostname(buffer, sizeof buffer - 1) != 0) return {};
  return buffer;
#endif
}

std::string HostRelativePath(std::string_view windows_relative) {
  std::string p(windows_relative);
#ifndef _WIN32
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
#endif
  return p;
}

std::string ConnectionLogPath(const std::string& exe_folder) {
#ifdef _WIN32
  (void)exe_folder;
  return "c:\\1.txt";
#else
  return exe_folder + "1.txt";
#endif
}

namespace {
#ifndef _WIN32
void Spawn(const char* program, char* const argv[]) {
  pid_t pid = 0;
  if (posix_spawnp(&pid, program, nullptr, nullptr, argv, environ) != 0) return;
  // Reaped by a detached waiter so no zombie is left behind.
  std::thread([pid] { int status = 0; waitpid(pid, &status, 0); }).detach();
}
#endif
}  // namespace

void OpenFileManager(const std::string& folder) {
#ifdef _WIN32
  ShellExecuteA(nullptr, "explore", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
#else
  std::string f = folder;
  char program[] = "xdg-open";
  char* argv[] = {program, f.data(), nullptr};
  Spawn(program, argv);
#endif
}

void StartNewInstance() {
  std::string exe = ExecutablePath();
#ifdef _WIN32
  ShellExecuteA(nullptr, "open", exe.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
#else
  char* argv[] = {exe.data(), nullptr};
  Spawn(exe.c_str(), argv);
#endif
}

namespace {
volatile std::sig_atomic_t g_stop_signal = 0;
extern "C" void OnStopSignal(int) { g_stop_signal = 1; }
}  // namespace

void InstallStopSignalHandlers() {
  std::signal(SIGINT, OnStopSignal);
  std::signal(SIGTERM, OnStopSignal);
#ifdef SIGBREAK
  std::signal(SIGBREAK, OnStopSignal);
#endif
}

bool StopSignalReceived() { return g_stop_signal != 0; }

}  // namespace veltra
