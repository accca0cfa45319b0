// What a request body of listeners 1 and 2 works with: the request's field text (decoded for
// listener 1, as received for listener 2), the gateway and the console. A body reads fields,
// calls the database and returns its answer text; the listener codes and sends it.
#pragma once

#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "db/gateway.h"
#include "host/clock.h"
#include "host/console.h"
#include "host/http.h"

namespace veltra::api {

struct ApiRequest {
  const std::string& text;  // name=value lines the fields are looked up in
  db::StoredProcGateway& gateway;
  Console& console;
  const Clock& clock;

  // An absent field reads as empty text.
  std::string Field(std::string_view name) const;
  std::vector<std::string> Fields(std::initializer_list<std::string_view> names) const;
  // One "Log Service" line: the local time immediately followed by `literal`.
  void Log(std::string_view literal) const { LogService(console, clock, literal); }
};

using RequestBody = std::function<std::string(const ApiRequest&)>;
using RequestTable = std::map<int, RequestBody>;

// Listener 1's numbered requests, by area.
void AddSignInRequests(RequestTable& table);    // 1010, 1011, 1111, 1112, 1119
void AddPersonRequests(RequestTable& table);    // 1, 2221, 2472, 2223, 2224, 2227
void AddLookupRequests(RequestTable& table);    // 2340, 2351, 2352, 2371 .. 2386
void AddDocumentRequests(RequestTable& table);  // 2701, 2703, 2706

// An answer without content gets the HTTP layer's default page, which is HTML: the JSON
// content type set for the answer must not label it.
inline void LeaveForDefaultAnswer(HttpResponse& response) {
  response.content_type.clear();
  response.charset.clear();
}

// The two document bodies listener 2 shares with listener 1.
std::string StoreDocument(const ApiRequest& r);  // 2701
std::string ReadDocument(const ApiRequest& r);   // 2706

}  // namespace veltra::api
