// Listener 5: the plain query-string service. Caller-ID reports become request 1434, numbered
// requests are answered as HTML tables, and an operator's tool may stop or start listener 1
// or ask for the host's status with a control code that changes every hour.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "db/gateway.h"
#include "host/clock.h"
#include "host/console.h"
#include "host/http.h"
#include "host/port_control.h"

namespace veltra {

inline constexpr std::string_view kStopOpening =
    "{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"port_01_stop  ";
inline constexpr std::string_view kStartOpening =
    "{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"port_01_start  ";
inline constexpr std::string_view kPortClosing = " \",\"s_param\":\"0\"}]} ";
inline constexpr std::string_view kStatusOpening =
    "{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"status    ";
inline constexpr std::string_view kStatusClosing = "    \",\"s_param\":\"0\"}]} ";

// The computer's network name; empty when it cannot be read.
using HostNameSource = std::function<std::string()>;

// Hour (0-23), day and month of `t`, in decimal without leading zeros, joined.
std::string ClockCode(const LocalDateTime& t);

class CallerIdListener {
 public:
  CallerIdListener(db::StoredProcGateway& gateway, Console& console, const Clock& clock,
                   PortControl& ports, HostNameSource host_name)
      : gateway_(gateway), console_(console), clock_(clock), ports_(ports),
        host_name_(std::move(host_name)) {}

  void Handle(const HttpRequest& request, HttpResponse& response);

 private:
  std::string HostName() const;
  void LogRequest(const HttpRequest& request);

  db::StoredProcGateway& gateway_;
  Console& console_;
  const Clock& clock_;
  PortControl& ports_;
  HostNameSource host_name_;
};

}  // namespace veltra
