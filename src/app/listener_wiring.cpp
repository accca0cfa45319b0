#include "app/listener_wiring.h"

#include <filesystem>

#include "api/listener1.h"
#include "api/listener2.h"
#include "callerid/callerid_listener.h"
#include "files/gateway_listener.h"
#include "files/image_listener.h"
#include "files/link_listener.h"
#include "files/upload_listener.h"
#include "host/platform.h"

namespace veltra {

db::StoredProcGateway& ServiceParts::Gateway() {
  if (!gateway_) {
    database_ = db::MakeOdbcDatabase(ConnectionSettingsOf(settings_));
    gateway_ = std::make_unique<db::StoredProcGateway>(*database_, console_,
                                                       settings_.Ansi_Code_Page);
  }
  return *gateway_;
}

TaminClient& ServiceParts::Tamin() {
  if (!tamin_) {
    // A relative CA file is taken beside the executable, like every other path.
    std::string ca = settings_.Tamin_CA_File;
    if (!ca.empty() && std::filesystem::path(ca).is_relative()) ca = settings_.ExeFolder + ca;
    http_ = std::make_unique<CurlHttpClient>(ca);
    tamin_ = std::make_unique<TaminClient>(Gateway(), console_, clock_, *http_);
  }
  return *tamin_;
}

db::ConnectionSettings ConnectionSettingsOf(const TServiceSettings& s) {
  db::ConnectionSettings c;
  c.provider = s.ProviderName;
  c.server = s.DataBase_Server;
  c.database = s.Database_Name;
  c.user = s.DataBase_Username;
  c.password = s.DataBase_Password;
  c.ansi_code_page = s.Ansi_Code_Page;
  return c;
}

namespace {

// Wraps a handler object that lives as long as the listener set.
template <typename T>
Handler Serve(std::shared_ptr<T> listener) {
  return [listener](const HttpRequest& request, HttpResponse& response) {
    listener->Handle(request, response);
  };
}

// The client is made only when start-up runs its hook, after the settings are read.
class LazyTaminStartupHook : public StartupHook {
 public:
  explicit LazyTaminStartupHook(ServiceParts& parts) : parts_(parts) {}
  void OnStartup() override { parts_.Tamin().RunStartupLoaders(); }

 private:
  ServiceParts& parts_;
};

}  // namespace

std::array<Handler, 7> MakeListenerHandlers(ServiceParts& parts) {
  auto& settings = parts.settings();
  auto& gateway = parts.Gateway();
  auto& console = parts.console();
  const Clock& clock = parts.clock();
  std::array<Handler, 7> handlers;
  handlers[0] = Serve(std::make_shared<api::Listener1>(settings, gateway, console, clock,
                                                       parts.Tamin()));
  handlers[1] = Serve(std::make_shared<api::Listener2>(settings, gateway, console, clock));
  handlers[2] = Serve(std::make_shared<UploadListener>(gateway));
  handlers[3] = Serve(std::make_shared<ImageListener>(gateway, console, clock));
  if (parts.port_control) {
    handlers[4] = Serve(std::make_shared<CallerIdListener>(gateway, console, clock,
                                                           *parts.port_control, &HostName));
  }
  handlers[5] = Serve(std::make_shared<GatewayListener>(gateway, console, settings));
  handlers[6] = Serve(std::make_shared<LinkListener>(gateway, console));
  return handlers;
}

std::unique_ptr<StartupHook> MakeStartupHook(ServiceParts& parts) {
  return std::make_unique<LazyTaminStartupHook>(parts);
}

}  // namespace veltra
