// Drives the listener 1 and 2 handlers with HttpRequest objects over a real gateway in front
// of FakeDatabase, with the recording console and a fixed clock (10:15:02).
#pragma once

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "api/listener1.h"
#include "api/listener2.h"
#include "db/gateway.h"
#include "eprescription/f112.h"
#include "host/http.h"
#include "host/settings.h"
#include "tests/support/fake_database.h"
#include "tests/support/recording_console.h"
#include "wire/transport_coding.h"

namespace veltra::testing {

using Fields = std::vector<std::pair<std::string, std::string>>;

inline std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// The name=value lines as the parameter text carries them after Trim (and decoding).
inline std::string PlainLines(const Fields& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += "\r\n";
    out += name + "=" + value;
  }
  return out;
}

// A form POST as a front-end sends it: in mode 0 one piece per field, in the coded modes the
// whole block of lines coded as one piece.
inline HttpRequest FormRequest(const Fields& fields, std::int16_t mode,
                               std::string method = "POST") {
  HttpRequest request;
  request.method = std::move(method);
  request.target = "/";
  request.path = "/";
  request.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
  if (mode == 0) {
    for (const auto& [name, value] : fields) {
      if (!request.body.empty()) request.body += "&";
      request.body += name + "=" + PercentEncode(value);
    }
  } else {
    request.body = PercentEncode(TransportEncode(PlainLines(fields), mode));
  }
  return request;
}

// The bound inputs of a call in one comparable form: "3=value" by position, "name=value"
// by name, sorted so the binding order of the gateway does not matter.
inline std::vector<std::string> Inputs(const RecordedCall& call) {
  std::vector<std::pair<int, std::string>> keyed;
  for (const auto& b : call.inputs) {
    if (b.position > 0) {
      keyed.emplace_back(b.position, std::to_string(b.position) + "=" + b.value);
    } else {
      keyed.emplace_back(1000, b.name + "=" + b.value);
    }
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::string> out;
  for (auto& k : keyed) out.push_back(std::move(k.second));
  return out;
}

inline std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::vector<std::pair<int, std::string>> keyed;
  for (auto& s : v) {
    const auto eq = s.find('=');
    const std::string key = s.substr(0, eq);
    const bool numeric = !key.empty() && std::all_of(key.begin(), key.end(), ::isdigit);
    keyed.emplace_back(numeric ? std::stoi(key) : 1000, std::move(s));
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<std::string> out;
  for (auto& k : keyed) out.push_back(std::move(k.second));
  return out;
}

class RecordingPrescriber : public Prescriber {
 public:
  std::string F_112(const std::string& request_id, const std::string& prescription) override {
    calls.emplace_back(request_id, prescription);
    return answer;
  }
  void ClearLastResult() override { ++clears; }

  std::string answer = R"({"Data":[{"s_result":"1","s_message":"sent","s_param":"0"}]})";
  std::vector<std::pair<std::string, std::string>> calls;
  int clears = 0;
};

// One row answer with the result triple, and its envelope.
inline ScriptedAnswer TripleRow(Cell s_result, std::string message = "ok") {
  ScriptedAnswer a;
  a.columns = {{"s_result"}, {"s_message"}, {"s_param"}};
  a.rows = {{std::move(s_result), std::move(message), std::string("0")}};
  return a;
}

struct ApiHarness {
  TServiceSettings settings;
  FakeDatabase database;
  RecordingConsole console;
  FakeClock clock;
  db::StoredProcGateway gateway{database, console};
  RecordingPrescriber prescriber;
  api::Listener1 listener1{settings, gateway, console, clock, prescriber};
  api::Listener2 listener2{settings, gateway, console, clock};

  HttpResponse Post1(const Fields& fields) {
    HttpResponse response;
    listener1.Handle(FormRequest(fields, settings.Coding_Mode), response);
    return response;
  }
  HttpResponse Post2(const Fields& fields) {
    HttpResponse response;
    listener2.Handle(FormRequest(fields, 0), response);
    return response;
  }
  // The lines the request bodies wrote to MS, after the frame's two " CommandGet " lines.
  std::vector<std::string> BodyLog() const {
    auto lines = console.Lines(Memo::kService);
    if (lines.size() < 2) return {};
    return {lines.begin() + 2, lines.end()};
  }
};

}  // namespace veltra::testing
