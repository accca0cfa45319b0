// The listener set: seven listeners started and stopped together by the Start/Stop action,
// restarted once a day at one second past midnight by the one-second timer, and listener 1
// alone stopped or started by listener 5's port commands.
#pragma once

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "host/clock.h"
#include "host/console.h"
#include "host/http.h"
#include "host/http_server.h"
#include "host/port_control.h"
#include "host/settings.h"

namespace veltra {

inline constexpr int kListenerCount = 7;

// The parts of the window the listener set drives beyond BB_Start_Stop (Console::
// ShowStartStop). Every call may come from any thread; the default does nothing.
class HostView {
 public:
  virtual ~HostView() = default;
  virtual void ShowRestartTime(std::string_view /*text*/) {}  // Label_Restart_Time
  virtual void ShowClock(std::string_view /*text*/) {}        // L_Time
  virtual void ShowClockRunning(bool /*running*/) {}          // L_Time green / red
};

// The three certificate files under the executable's folder.
TlsFiles CertificateFiles(const std::string& exe_folder);

enum class ActionResult {
  kStarted,
  kStopped,
  kNoActivePort,  // "There is no active port " was shown
  kFailed,        // an error was shown; the state did not change
  kEndProcess,    // a certificate file is missing: the message was shown, the process must end
};

class ServiceHost : public PortControl {
 public:
  using ServerDateSource = std::function<std::string()>;  // the database date text

  ServiceHost(const TServiceSettings& settings, Console& console, const Clock& clock,
              ServerDateSource server_date, HostView* view = nullptr);
  ~ServiceHost() override;

  // Handlers by listener number 1..7 (before the first Start). Listeners without one give
  // the default answer.
  void SetHandler(int listener, Handler handler);
  // The bindings made by start-up; without them Start refuses to start anything.
  void Bind(const std::array<int, kListenerCount>& ports);
  // Called when the process must end (a certificate file went missing).
  void OnEndProcess(std::function<void()> end_process) { end_process_ = std::move(end_process); }

  // The Start/Stop button: stops when the caption is "Stop", starts otherwise.
  ActionResult StartStop();
  // The caption of BB_Start_Stop reads "Stop".
  bool Running() const { return caption_stop_; }
  bool TimerEnabled() const { return timer_enabled_; }
  // One tick of Timer1 (every second while the listeners run).
  void Tick();
  // Stops every listener (process end); nothing is shown.
  void StopAll();

  bool ListenerActive(int listener) const;
  std::uint16_t ListenerPort(int listener) const;  // bound port while active, else 0
  std::string RestartLabel() const;

  // PortControl, for listener 5's request threads.
  void StopListener1() override;
  void StartListener1() override;

 private:
  enum class Want { kToggle, kStop, kStart };
  ActionResult Action(Want want);
  void ShowStopped();
  void ShowRunning();

  const TServiceSettings& settings_;
  Console& console_;
  const Clock& clock_;
  ServerDateSource server_date_;
  HostView null_view_;
  HostView& view_;
  std::function<void()> end_process_;
  std::array<std::unique_ptr<HttpListener>, kListenerCount> listeners_;
  std::array<int, kListenerCount> bound_{};
  std::atomic<bool> bound_done_{false};
  std::atomic<bool> caption_stop_{false};
  std::atomic<bool> timer_enabled_{false};
  mutable std::mutex label_mutex_;  // guards restart_label_
  std::string restart_label_ = "----";
};

}  // namespace veltra
