#include "app/listener_wiring.h"

namespace veltra {

db::StoredProcGateway& ServiceParts::Gateway() {
  if (!gateway_) {
    database_ = db::MakeOdbcDatabase(ConnectionSettingsOf(settings_));
    gateway_ = std::make_unique<db::StoredProcGateway>(*database_, console_,
                                                       settings_.Ansi_Code_Page);
  }
  return *gateway_;
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

std::array<Handler, 7> MakeListenerHandlers(ServiceParts& /*parts*/) {
  // Listeners whose subsystem is not plugged in here yet answer the default answer.
  return {};
}

std::unique_ptr<StartupHook> MakeStartupHook(ServiceParts& /*parts*/) { return nullptr; }

}  // namespace veltra
