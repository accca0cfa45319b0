#include "host/service_host.h"

#include <filesystem>

#include "host/platform.h"
#include "host/startup.h"
#include "wire/text.h"

namespace veltra {
namespace {

constexpr std::string_view kMissingCertificates =
    "Not found Certificat Files \n\rMySSL\\Cabundle.crt\n\rMySSL\\CRT.crt\n\rMySSL\\Private-key.crt"
    "\n\rin root path";
constexpr std::string_view kNoActivePort = "There is no active port ";
constexpr std::string_view kNotBound =
    "The listeners have no bindings: start-up did not complete. Correct the configuration "
    "file and restart the program.";
constexpr std::string_view kRestartTime = "00:00:01";

}  // namespace

TlsFiles CertificateFiles(const std::string& exe_folder) {
  return {exe_folder + HostRelativePath("MySSL\\Cabundle.crt"),
          exe_folder + HostRelativePath("MySSL\\CRT.crt"),
          exe_folder + HostRelativePath("MySSL\\Private-key.crt")};
}

ServiceHost::ServiceHost(const TServiceSettings& settings, Console& console, const Clock& clock,
                         ServerDateSource server_date, HostView* view)
    : settings_(settings),
      console_(console),
      clock_(clock),
      server_date_(std::move(server_date)),
      view_(view ? *view : null_view_) {
  const ListenerLimits limits = ListenerLimits::From(settings);
  for (int n = 0; n < kListenerCount; ++n) {
    listeners_[n] = std::make_unique<HttpListener>(n + 1, console, limits);
  }
}

ServiceHost::~ServiceHost() { StopAll(); }

void ServiceHost::SetHandler(int listener, Handler handler) {
  listeners_.at(listener - 1)->SetHandler(std::move(handler));
}

void ServiceHost::Bind(const std::array<int, kListenerCount>& ports) {
  bound_ = ports;
  bound_done_ = true;
}

ActionResult ServiceHost::StartStop() { return Action(Want::kToggle); }

ActionResult ServiceHost::Action(Want want) {
  const TlsFiles files = CertificateFiles(settings_.ExeFolder);
  for (const auto* path : {&files.ca_bundle, &files.certificate, &files.private_key}) {
    if (!std::filesystem::is_regular_file(*path)) {
      console_.MessageBox(kMissingCertificates);
      if (end_process_) end_process_();
      return ActionResult::kEndProcess;
    }
  }
  try {
    std::string label = server_date_() + "  " + FormatLongTime(clock_.Now());
    {
      std::lock_guard lock(label_mutex_);
      restart_label_ = label;
    }
    view_.ShowRestartTime(label);
  } catch (const std::exception& e) {
    console_.MessageBox(e.what());
    return ActionResult::kFailed;
  }

  const bool stop = want == Want::kStop || (want == Want::kToggle && caption_stop_);
  if (stop) {
    for (auto& l : listeners_) l->Stop();
    ShowStopped();
    return ActionResult::kStopped;
  }

  std::array<int, kListenerCount> ports{};
  try {
    for (int n = 0; n < kListenerCount; ++n) ports[n] = PortNumber(settings_.Port[n]);
  } catch (const std::exception& e) {
    console_.MessageBox(e.what());
    return ActionResult::kFailed;
  }
  bool any = false;
  for (int p : ports) any = any || p > 0;
  if (!any) {
    console_.MessageBox(kNoActivePort);
    return ActionResult::kNoActivePort;
  }
  if (!bound_done_) {
    console_.MessageBox(kNotBound);
    return ActionResult::kFailed;
  }
  for (int n = 0; n < kListenerCount; ++n) {
    if (ports[n] <= 0) continue;
    try {
      listeners_[n]->Start(static_cast<std::uint16_t>(bound_[n]), files);
    } catch (const std::exception& e) {
      console_.MessageBox(e.what());
      return ActionResult::kFailed;
    }
  }
  ShowRunning();
  return ActionResult::kStarted;
}

void ServiceHost::ShowStopped() {
  caption_stop_ = false;
  timer_enabled_ = false;
  console_.ShowStartStop(false);
  view_.ShowClockRunning(false);
}

void ServiceHost::ShowRunning() {
  caption_stop_ = true;
  timer_enabled_ = true;
  console_.ShowStartStop(true);
  view_.ShowClockRunning(true);
}

void ServiceHost::Tick() {
  if (!timer_enabled_) return;
  view_.ShowClock(FormatLongTime(clock_.Now()));
  if (FormatLongTime(clock_.Now()) != kRestartTime) return;
  // Stop then Start, whatever the caption says: after a remote port_01_stop the caption
  // reads "Start", and toggling twice would leave every listener stopped.
  if (Action(Want::kStop) != ActionResult::kStopped) return;
  Action(Want::kStart);
}

void ServiceHost::StopAll() {
  for (auto& l : listeners_) l->Stop();
}

bool ServiceHost::ListenerActive(int listener) const {
  return listeners_.at(listener - 1)->Active();
}

std::uint16_t ServiceHost::ListenerPort(int listener) const {
  return listeners_.at(listener - 1)->LocalPort();
}

std::string ServiceHost::RestartLabel() const {
  std::lock_guard lock(label_mutex_);
  return restart_label_;
}

void ServiceHost::StopListener1() {
  listeners_[0]->Stop();
  caption_stop_ = false;
  console_.ShowStartStop(false);
}

void ServiceHost::StartListener1() {
  if (bound_done_ && bound_[0] > 0) {
    listeners_[0]->Start(static_cast<std::uint16_t>(bound_[0]),
                         CertificateFiles(settings_.ExeFolder));
  }
  caption_stop_ = true;
  console_.ShowStartStop(true);
}

}  // namespace veltra
