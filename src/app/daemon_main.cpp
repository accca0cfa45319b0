// veltra-web-serviced: the service without a window. The same start-up sequence as the
// window, then Start at once; the daily restart; SIGTERM / SIGINT stop it cleanly.
#include <atomic>
#include <chrono>
#include <thread>

#include "app/listener_wiring.h"
#include "host/ini_file.h"
#include "host/platform.h"
#include "host/service_host.h"
#include "host/startup.h"
#include "host/stdout_console.h"

namespace veltra {
namespace {

class StdoutView : public HostView {
 public:
  explicit StdoutView(StdoutConsole& console) : console_(console) {}
  void ShowRestartTime(std::string_view text) override {
    console_.Write("Label_Restart_Time", text);
  }

 private:
  StdoutConsole& console_;
};

int Run() {
  InstallStopSignalHandlers();
  const std::string exe_folder = ExecutableFolder();
  SystemClock clock;
  StdoutConsole console(ConnectionLogPath(exe_folder));
  console.LoadSwitches(IniFile(exe_folder + HostRelativePath("config\\web_service_config.ini")),
                       false);

  TServiceSettings settings;
  ServiceParts parts(settings, console, clock);
  auto hook = MakeStartupHook(parts);
  const StartupResult startup = RunStartup(exe_folder, settings, console, clock, hook.get());
  if (startup.outcome != StartupOutcome::kComplete) return 1;  // nobody can correct it here
  console.Set(Switch::kAutoStart, settings.Auto_Start);
  console.Write("L_Date", startup.date_text);
  console.Write("SB_A", startup.status_text);

  StdoutView view(console);
  ServiceHost host(settings, console, clock, [&parts] { return parts.Gateway().ServerDate(); },
                   &view);
  parts.port_control = &host;
  const auto handlers = MakeListenerHandlers(parts);
  for (int n = 1; n <= kListenerCount; ++n) {
    if (handlers[n - 1]) host.SetHandler(n, handlers[n - 1]);
  }
  host.Bind(startup.bound_ports);
  std::atomic<bool> must_end{false};
  host.OnEndProcess([&must_end] { must_end = true; });
  if (host.StartStop() != ActionResult::kStarted) return 1;

  int last_second = clock.Now().second;
  while (!StopSignalReceived() && !must_end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const int second = clock.Now().second;
    if (second == last_second) continue;
    last_second = second;
    host.Tick();
  }
  host.StopAll();
  return must_end ? 1 : 0;
}

}  // namespace
}  // namespace veltra

int main() {
  try {
    return veltra::Run();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
}
