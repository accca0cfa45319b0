// veltra-web-service: the service with its operator window. The same start-up sequence and
// listener wiring as the daemon; the window adds the switches, memos, boxes and the editor.
#include <QApplication>
#include <QDate>
#include <QLocale>
#include <QProcess>

#include "app/listener_wiring.h"
#include "gui/config_editor.h"
#include "gui/main_window.h"
#include "host/platform.h"
#include "host/service_host.h"
#include "host/startup.h"

namespace veltra {
namespace {

int Run(QApplication& app) {
  const std::string exe_folder = ExecutableFolder();
  SystemClock clock;
  TServiceSettings settings;
  Tmf window(exe_folder);
  ServiceParts parts(settings, window, clock);
  auto hook = MakeStartupHook(parts);
  const StartupResult startup = RunStartup(exe_folder, settings, window, clock, hook.get());
  if (startup.outcome == StartupOutcome::kEndProcess) return 1;

  ServiceHost host(settings, window, clock, [&parts] { return parts.Gateway().ServerDate(); },
                   &window);
  parts.port_control = &host;
  bool ended = false;
  auto end_process = [&] {
    ended = true;
    window.Shutdown();
    QCoreApplication::exit(1);
  };
  host.OnEndProcess([] {});  // the window sees kEndProcess from StartStop and ends itself
  Tmf::Actions actions;
  actions.end_process = end_process;
  actions.config = [&] {
    Tconfig_f editor(exe_folder, settings, [&parts] { parts.Gateway().ServerDate(); },
                     [&window](const QString& text) { window.MessageBox(text.toStdString()); },
                     &window);
    if (!editor.Loaded()) return end_process();
    editor.exec();
    // The new instance binds the same ports: release them before it starts.
    window.Shutdown();
    QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
    QCoreApplication::exit(0);
  };
  actions.tamin_token_a = [&] {
    parts.Tamin().TestTaminTokenA(exe_folder + HostRelativePath("config\\tamin_test.ini"));
  };
  actions.tamin_token_b = [&] { parts.Tamin().TestTaminTokenB(); };
  actions.tamin_sample = [&] { parts.Tamin().TestSampleAnswer(); };
  window.SetActions(actions);
  window.SetHost(&host);

  if (startup.outcome == StartupOutcome::kComplete) {
    const auto handlers = MakeListenerHandlers(parts);
    for (int n = 1; n <= kListenerCount; ++n) {
      if (handlers[n - 1]) host.SetHandler(n, handlers[n - 1]);
    }
    // Without these bindings Start refuses to start anything.
    host.Bind(startup.bound_ports);
    window.ShowDate(QString::fromStdString(startup.date_text));
    window.ShowStatus(QString::fromStdString(startup.status_text));
    window.RestoreGeometry();
  }
  window.show();
  if (startup.outcome == StartupOutcome::kComplete) {
    window.SetAutoStart(startup.auto_start);
    if (startup.auto_start) window.StartStop();
  }
  if (ended) return 1;
  const int code = app.exec();
  window.Shutdown();
  return code;
}

}  // namespace
}  // namespace veltra

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  return veltra::Run(app);
}
