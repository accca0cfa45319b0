// What the daemon (and the window) build the listener handlers and the e-prescription
// start-up hook from. The one place that knows which subsystem serves which listener.
#pragma once

#include <array>
#include <memory>

#include "db/connection.h"
#include "db/gateway.h"
#include "eprescription/http_client.h"
#include "eprescription/tamin_client.h"
#include "host/clock.h"
#include "host/console.h"
#include "host/http.h"
#include "host/port_control.h"
#include "host/settings.h"
#include "host/startup.h"

namespace veltra {

// The process-wide parts the handlers share. The gateway is made on first use, after
// start-up has read the connection settings.
class ServiceParts {
 public:
  ServiceParts(TServiceSettings& settings, Console& console, const Clock& clock)
      : settings_(settings), console_(console), clock_(clock) {}

  TServiceSettings& settings() { return settings_; }
  Console& console() { return console_; }
  const Clock& clock() { return clock_; }
  db::StoredProcGateway& Gateway();
  // The e-prescription client, made on first use like the gateway.
  TaminClient& Tamin();
  // Set once the listener set exists (listener 5 stops and starts listener 1 through it).
  PortControl* port_control = nullptr;

 private:
  TServiceSettings& settings_;
  Console& console_;
  const Clock& clock_;
  std::unique_ptr<db::Database> database_;
  std::unique_ptr<db::StoredProcGateway> gateway_;
  std::unique_ptr<CurlHttpClient> http_;
  std::unique_ptr<TaminClient> tamin_;
};

db::ConnectionSettings ConnectionSettingsOf(const TServiceSettings& settings);

// Handlers for listeners 1..7 at [0..6]; an empty one gives the default answer.
std::array<Handler, 7> MakeListenerHandlers(ServiceParts& parts);
// The e-prescription client's start-up step; null while there is none.
std::unique_ptr<StartupHook> MakeStartupHook(ServiceParts& parts);

}  // namespace veltra
