// Listener 1 (IdHTTPServer1): the coded JSON API of numbered requests. Every request text is
// decoded with TransportDecode and every answer coded with TransportEncode under Coding_Mode.
#pragma once

#include "api/api_request.h"
#include "db/gateway.h"
#include "eprescription/f112.h"
#include "host/clock.h"
#include "host/console.h"
#include "host/http.h"
#include "host/settings.h"

namespace veltra::api {

class Listener1 {
 public:
  Listener1(const TServiceSettings& settings, db::StoredProcGateway& gateway, Console& console,
            const Clock& clock, Prescriber& prescriber);

  // Errors are not caught: they reach the HTTP layer, which answers 500 with the headers
  // already set here.
  void Handle(const HttpRequest& request, HttpResponse& response);

 private:
  // Numbers without a case of their own: the dispatcher, guarded below 1000.
  std::string GenericAnswer(const ApiRequest& r, int id, const std::string& id_text,
                            const std::string& sp_param, const std::string& token,
                            const std::string& user_cp);
  std::string PermissionCheck(const ApiRequest& r, int id, const std::string& id_text,
                              const std::string& sp_param, const std::string& token,
                              const std::string& user_cp);

  const TServiceSettings& settings_;
  db::StoredProcGateway& gateway_;
  Console& console_;
  const Clock& clock_;
  Prescriber& prescriber_;
  RequestTable requests_;  // filled once in the constructor, read-only afterwards
};

// "s_result" of the first row of a DataEnvelope, as an integer. Throws when there is no row,
// no such member, or a value that is not an integer (" " for NULL).
int FirstRowResult(const std::string& envelope);

}  // namespace veltra::api
