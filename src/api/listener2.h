// Listener 2 (IdHTTPServer2): the plain sibling of listener 1. Fields are read as received,
// answers go out uncoded; other numbers run under user name and password.
#pragma once

#include "db/gateway.h"
#include "host/clock.h"
#include "host/console.h"
#include "host/http.h"
#include "host/settings.h"

namespace veltra::api {

class Listener2 {
 public:
  Listener2(const TServiceSettings& settings, db::StoredProcGateway& gateway, Console& console,
            const Clock& clock);

  // Errors are not caught; the HTTP layer answers 500.
  void Handle(const HttpRequest& request, HttpResponse& response);

 private:
  const TServiceSettings& settings_;
  db::StoredProcGateway& gateway_;
  Console& console_;
  const Clock& clock_;
};

}  // namespace veltra::api
