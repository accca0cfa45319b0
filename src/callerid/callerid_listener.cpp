#include "callerid/callerid_listener.h"

#include "wire/request_fields.h"
#include "wire/text.h"
#include "wire/transport_coding.h"

namespace veltra {

namespace {

std::size_t CharacterCount(std::string_view utf8) { return Utf8ToUtf16(utf8).size(); }

// User name and password of HTTP basic authentication; both empty when none was sent.
std::pair<std::string, std::string> BasicCredentials(std::string_view authorization) {
  std::string value = Trim(authorization);
  constexpr std::string_view kScheme = "basic ";
  if (value.size() < kScheme.size()) return {};
  for (std::size_t i = 0; i < kScheme.size(); ++i) {
    char c = value[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kScheme[i]) return {};
  }
  std::string decoded = Base64Decode(Trim(value.substr(kScheme.size())));
  auto colon = decoded.find(':');
  if (colon == std::string::npos) return {decoded, {}};
  return {decoded.substr(0, colon), decoded.substr(colon + 1)};
}

bool HasHeader(const HttpRequest& request, std::string_view name) {
  for (const auto& [key, value] : request.headers) {
    if (key.size() != name.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < key.size() && same; ++i) {
      char a = key[i], b = name[i];
      if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
      if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
      same = a == b;
    }
    if (same) return true;
  }
  return false;
}

}  // namespace

std::string ClockCode(const LocalDateTime& t) {
  return std::to_string(t.hour) + std::to_string(t.day) + std::to_string(t.month);
}

std::string CallerIdListener::HostName() const {
  if (!host_name_) return {};
  try {
    return host_name_();
  } catch (...) {
    return {};
  }
}

void CallerIdListener::Handle(const HttpRequest& request, HttpResponse& response) {
  const std::string text =
      Trim(ParameterText(request.ContentType(), request.body, request.query));
  std::string id = FieldValue(text, "id");
  std::string params = FieldValue(text, "params");
  std::string token = FieldValue(text, "token");
  std::string lucp = FieldValue(text, "lucp");
  const std::string line_number = FieldValue(text, "LineNumber");
  const std::string number = FieldValue(text, "Number");
  const std::string dial_number = FieldValue(text, "DialNumber");

  // A ringing line outranks whatever request the same query carried.
  if (!line_number.empty() &&
      (CharacterCount(number) >= 3 || CharacterCount(dial_number) >= 3)) {
    id = "1434";
    params = QuotedValueList({line_number, number, dial_number});
    token = "0";
    lucp = "0";
  }

  LogService(console_, clock_, id);

  if (TryStrToInt(id)) {
    response.body = gateway_.ExecProcHtml("_Exec_Proc", id, params, token, lucp);
  } else {
    // Read once, before the comparisons, so a request straddling the hour sees one code.
    const std::string clock_code = ClockCode(clock_.Now());
    if (id == "port_01_stop") {
      if (params == clock_code + HostName()) {
        response.body = std::string(kStopOpening) + FormatDateTime(clock_.Now()) +
                        std::string(kPortClosing);
        ports_.StopListener1();
      }
    } else if (id == "port_01_start") {
      if (params == clock_code + HostName()) {
        response.body = std::string(kStartOpening) + FormatDateTime(clock_.Now()) +
                        std::string(kPortClosing);
        ports_.StartListener1();
      }
    } else if (id == "status") {
      response.body = std::string(kStatusOpening) + HostName() + "   " +
                      FormatDateTime(clock_.Now()) + "    " + clock_code +
                      std::string(kStatusClosing);
    }
  }

  LogRequest(request);
}

void CallerIdListener::LogRequest(const HttpRequest& request) {
  if (!console_.IsOn(Switch::kLogService)) return;
  const auto authorization = request.Header("Authorization");
  const auto [user, password] = BasicCredentials(authorization);
  console_.Append(Memo::kService, FormatLongTime(clock_.Now()));
  console_.Append(Memo::kService, request.method);
  console_.Append(Memo::kService, request.Header("Host"));
  console_.Append(Memo::kService, request.target);
  console_.Append(Memo::kService, request.Header("User-Agent"));
  console_.Append(Memo::kService, request.Header("Referer"));
  console_.Append(Memo::kService, user);
  console_.Append(Memo::kService, password);
  console_.Append(Memo::kService, HasHeader(request, "Authorization") ? "-1" : "0");
}

}  // namespace veltra
