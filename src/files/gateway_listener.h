// Listener 6: a thin, uncoded gateway to the database dispatcher "_exec_proc", answering rows
// as a typed JSON array. Request 1412 also stores an uploaded file in the MyFiles_Path
// folder, bucketed by person code, and confirms it with request 1413.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "db/gateway.h"
#include "host/console.h"
#include "host/http.h"
#include "host/settings.h"

namespace veltra {

inline constexpr std::string_view kUnknownRequest = "Unknown Request";
inline constexpr std::string_view kMissingApiAnswer =
    "{\"Error\": \"Parameter API doesn't exists\"}";
inline constexpr std::string_view kFinalErrorAnswer =
    "{\"Data\":[{\"s_result\":\"0\",\"s_message\":\"Final Error\",\"s_param\":\"0\"}]} ";

// The folder of person `n` under `root`: root/a-(a+9999)/b-(b+99)/n, with a and b the code
// rounded towards zero to 10000 and 100. Missing levels are created one at a time (never the
// root). Empty text, after a notice to the operator, when root is too short to be a real
// folder or the folder could not be made.
std::string BucketFolder(Console& console, std::string_view root, std::int32_t n);

// The error form: {"Error": "<message>"} with the message as a JSON string.
std::string ErrorForm(std::string_view message);

class GatewayListener {
 public:
  GatewayListener(db::StoredProcGateway& gateway, Console& console,
                  const TServiceSettings& settings)
      : gateway_(gateway), console_(console), settings_(settings) {}

  // Never throws: every failure becomes the error form (or, outside the steps that have
  // one, the answer made so far).
  void Handle(const HttpRequest& request, HttpResponse& response);

 private:
  db::StoredProcGateway& gateway_;
  Console& console_;
  const TServiceSettings& settings_;
};

}  // namespace veltra
