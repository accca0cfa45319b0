#include "eprescription/tamin_client.h"

#include <boost/json.hpp>

#include <cctype>
#include <cstdint>
#include <fstream>
#include <map>

#include "wire/envelope.h"
#include "wire/text.h"
#include "wire/transport_coding.h"

namespace veltra {
namespace json = boost::json;

namespace {

constexpr std::string_view kExecProc = "_Exec_Proc";
constexpr std::string_view kNoParams = "'0','0','0','0','0','0','0'";

std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (auto p : parts) out += p;
  return out;
}

// A JSON value as the platform's "value as text": strings as they are, numbers and booleans
// in their JSON form, null as empty text; objects and arrays have no text.
std::optional<std::string> AsText(const json::value& v) {
  switch (v.kind()) {
    case json::kind::string: return std::string(v.get_string());
    case json::kind::null: return std::string();
    case json::kind::object:
    case json::kind::array: return std::nullopt;
    default: return json::serialize(v);
  }
}

std::string MemberText(const json::object& o, std::string_view name) {
  const json::value* v = o.if_contains(name);
  if (!v) return {};
  return AsText(*v).value_or(std::string());
}

// "status" as a 32-bit integer: a JSON number or a string holding one.
std::optional<std::int32_t> ReadStatus(const json::object& o) {
  const json::value* v = o.if_contains("status");
  if (!v) return std::nullopt;
  if (v->is_int64()) {
    auto n = v->get_int64();
    if (n >= INT32_MIN && n <= INT32_MAX) return static_cast<std::int32_t>(n);
  } else if (v->is_uint64()) {
    if (v->get_uint64() <= INT32_MAX) return static_cast<std::int32_t>(v->get_uint64());
  } else if (v->is_double()) {
    double d = v->get_double();
    if (d >= INT32_MIN && d <= INT32_MAX && static_cast<double>(static_cast<std::int32_t>(d)) == d)
      return static_cast<std::int32_t>(d);
  } else if (v->is_string()) {
    return TryStrToInt(std::string_view(v->get_string()));
  }
  return std::nullopt;
}

std::optional<json::object> ParseObject(std::string_view text) {
  json::error_code ec;
  json::value v = json::parse(text, ec);
  if (ec || !v.is_object()) return std::nullopt;
  return std::move(v.get_object());
}

// The first row object of a DataEnvelope text.
std::optional<json::object> FirstRow(std::string_view envelope) {
  auto top = ParseObject(envelope);
  if (!top) return std::nullopt;
  const json::value* data = top->if_contains("Data");
  if (!data || !data->is_array() || data->get_array().empty()) return std::nullopt;
  const json::value& row = data->get_array().front();
  if (!row.is_object()) return std::nullopt;
  return row.get_object();
}

// A row object written compactly in the envelope's escaped form.
std::string EnvelopeForm(const json::value& v) {
  switch (v.kind()) {
    case json::kind::string: return Cat({"\"", EnvelopeEscape(v.get_string()), "\""});
    case json::kind::object: {
      std::string out = "{";
      bool first = true;
      for (const auto& member : v.get_object()) {
        if (!first) out += ",";
        first = false;
        out += Cat({"\"", EnvelopeEscape(member.key()), "\":", EnvelopeForm(member.value())});
      }
      return out + "}";
    }
    case json::kind::array: {
      std::string out = "[";
      bool first = true;
      for (const auto& item : v.get_array()) {
        if (!first) out += ",";
        first = false;
        out += EnvelopeForm(item);
      }
      return out + "]";
    }
    default: return json::serialize(v);
  }
}

// The innermost result object of a submission answer's "data" text.
struct SubmissionFields {
  std::string trackingCode, error_Msg, error_Code, complemantary_Msg, head_EPRSC_ID;
};

SubmissionFields ReadSubmissionFields(const json::object* answer) {
  SubmissionFields f;
  if (!answer) return f;
  const json::value* data = answer->if_contains("data");
  if (!data || !data->is_string()) return f;
  std::string inner(data->get_string());
  std::erase(inner, '\\');
  auto node = ParseObject(inner);
  if (!node) return f;
  const json::object* at = &*node;
  for (std::string_view step : {"data", "data", "result"}) {
    const json::value* next = at->if_contains(step);
    if (!next || !next->is_object()) return f;
    at = &next->get_object();
  }
  f.trackingCode = MemberText(*at, "trackingCode");
  f.error_Msg = MemberText(*at, "error_Msg");
  f.error_Code = MemberText(*at, "error_Code");
  f.complemantary_Msg = MemberText(*at, "complemantary_Msg");
  f.head_EPRSC_ID = MemberText(*at, "head_EPRSC_ID");
  return f;
}

std::string FormEncode(std::string_view text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '*') {
      out += static_cast<char>(c);
    } else if (c == ' ') {
      out += '+';
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string JsonString(std::string_view text) { return json::serialize(json::value(text)); }

}  // namespace

const std::string_view kSampleSubmissionAnswer =
    R"({"status":200,"family":"SUCCESSFUL","reason":"OK","data":"{\"status\":200,)"
    R"(\"family\":\"SUCCESSFUL\",\"reason\":\"OK\",\"data\":{\"status\":200,)"
    R"(\"family\":\"SUCCESSFUL\",\"reason\":\"OK\",\"data\":{\"result\":{)"
    R"(\"trackingCode\":null,\"error_Msg\":\"تاریخ نسخه باید تاریخ امروز باشد\",)"
    R"(\"error_Code\":\"300\",\"complemantary_Msg\":null,\"head_EPRSC_ID\":null}}}}"})";

std::optional<TaminTestValues> LoadTaminTestValues(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::map<std::string, std::string> values;
  std::string line;
  while (std::getline(in, line)) {
    std::string t = Trim(line);
    if (t.empty() || t[0] == '[' || t[0] == ';' || t[0] == '#') continue;
    auto eq = t.find('=');
    if (eq == std::string::npos) continue;
    values[Trim(std::string_view(t).substr(0, eq))] = Trim(std::string_view(t).substr(eq + 1));
  }
  TaminTestValues v{values["login_url"], values["client_id"], values["secret"],
                    values["send_url"], values["prescription"]};
  if (v.login_url.empty() || v.client_id.empty() || v.secret.empty() || v.send_url.empty()) {
    return std::nullopt;
  }
  if (v.prescription.empty()) {
    auto s = [&](const char* key) { return JsonString(values[key]); };
    v.prescription = Cat({"{\"patient\":", s("patient"), ",\"mobile\":", s("mobile"),
                          ",\"prescType\":{\"prescTypeId\":3},\"prescDate\":", s("prescDate"),
                          ",\"expireDate\":", s("expireDate"), ",\"docId\":", s("docId"),
                          ",\"docMobileNo\":", s("docMobileNo"), ",\"docNationalCode\":",
                          s("docNationalCode"),
                          ",\"comments\":\"1\",\"creatorType\":\"4\",\"noteDetailEprscs\":[]}"});
  }
  return v;
}

std::string EnvelopeWithB64(std::string_view text) {
  return Cat({kOpeningPiece, Base64Encode(Trim(text)), " 112", kClosingPiece});
}

TaminClient::TaminClient(db::StoredProcGateway& gateway, Console& console, const Clock& clock,
                         HttpClient& http)
    : gateway_(gateway), console_(console), clock_(clock), http_(http) {}

void TaminClient::Log(std::string_view literal) { LogService(console_, clock_, literal); }

void TaminClient::Show(const Boxes& boxes) {
  for (const auto& b : boxes) console_.MessageBox(b);
}

std::string TaminClient::LastResult() const {
  std::lock_guard lock(last_result_mutex_);
  return last_result_;
}

void TaminClient::PublishLastResult(std::string result) {
  std::lock_guard lock(last_result_mutex_);
  last_result_ = std::move(result);
}

void TaminClient::ClearLastResult() { PublishLastResult("0"); }

TaminState TaminClient::State() const {
  TaminState s;
  {
    std::lock_guard lock(state_mutex_);
    s.settings = settings_;
    s.TaminActive = active_;
    s.TaminToken = token_;
    s.TaminLastMessage = last_message_;
  }
  s.TaminLastResult = LastResult();
  return s;
}

// ---- Loaders ----

void TaminClient::RunStartupLoaders() {
  Boxes boxes;
  {
    std::lock_guard lock(state_mutex_);
    active_ = false;
    token_.clear();
    LoadActiveLocked(boxes);
    if (active_) LoadSettingsLocked(boxes);
  }
  Show(boxes);
}

void TaminClient::Fill_msetting_Active_Params() {
  Boxes boxes;
  {
    std::lock_guard lock(state_mutex_);
    LoadActiveLocked(boxes);
  }
  Show(boxes);
}

void TaminClient::Fill_tamin_Params_and_take_token() {
  Boxes boxes;
  {
    std::lock_guard lock(state_mutex_);
    LoadSettingsLocked(boxes);
  }
  Show(boxes);
}

std::string TaminClient::CallLoader(const char* request_id, std::string_view log_line,
                                    Boxes& boxes, bool& called) {
  std::string answer;
  called = true;
  try {
    answer = gateway_.ExecProc(std::string(kExecProc), request_id, std::string(kNoParams), "0", "0");
  } catch (const std::exception&) {
    called = false;
    // The answer is still empty here; the box shows it as the design did.
    boxes.push_back(Cat({"_Exec_Proc ", request_id, " ", kLfCr, kNoParams, kLfCr, answer}));
  }
  Log(log_line);
  Log(answer);
  return answer;
}

void TaminClient::LoadActiveLocked(Boxes& boxes) {
  bool called = true;
  const std::string answer = CallLoader("101", "Fill_msetting_Active_Params  101", boxes, called);
  std::optional<bool> active;
  if (auto row = FirstRow(answer)) {
    if (const json::value* v = row->if_contains("act_tamin_take_token")) {
      if (auto text = AsText(*v); text && !v->is_null()) active = TryStrToBool(*text);
    }
  }
  if (active) {
    active_ = *active;
  } else if (called) {
    boxes.push_back(Cat({"_Exec_Proc 101 ", kLfCr, kNoParams, kLfCr, kLfCr, answer, kLfCr,
                         kLfCr, "StrToBool(myObj.GetValue(act_tamin_take_token).value) is null "}));
  }
  Log(Cat({"act_tamin_take_token=", active_ ? "-1" : "0"}));
}

void TaminClient::LoadSettingsLocked(Boxes& boxes) {
  bool called = true;
  const std::string answer =
      CallLoader("111", "Fill_tamin_Params_and_take_token 111", boxes, called);
  auto row = FirstRow(answer);
  if (!row) {
    // The settings stay as they were; the operator needs to know why request 112 will fail.
    if (called) {
      boxes.push_back(Cat({"_Exec_Proc 111 ", kLfCr, kNoParams, kLfCr, kLfCr, answer, kLfCr,
                           kLfCr, "no settings row "}));
    }
    return;
  }
  Log(EnvelopeForm(*row));
  struct Field { std::string_view name; std::string TaminSettings::*slot; };
  static const Field kFields[] = {
      {"tamin_auth_api_login_url", &TaminSettings::tamin_auth_api_login_url},
      {"tamin_client_id", &TaminSettings::tamin_client_id},
      {"tamin_secret", &TaminSettings::tamin_secret},
      {"tamin_main_url", &TaminSettings::tamin_main_url},
      {"tamin_PostQuery", &TaminSettings::tamin_PostQuery},
      {"tamin_PrescriptionTypeQuery", &TaminSettings::tamin_PrescriptionTypeQuery},
      {"tamin_srvTypeQuery", &TaminSettings::tamin_srvTypeQuery},
      {"tamin_srvCodeQuery", &TaminSettings::tamin_srvCodeQuery},
      {"tamin_parGrpCodeQuery", &TaminSettings::tamin_parGrpCodeQuery},
      {"tamin_drugAmntIdQuery", &TaminSettings::tamin_drugAmntIdQuery},
  };
  for (const auto& f : kFields) {
    std::string& slot = settings_.*f.slot;
    slot.clear();
    if (const json::value* v = row->if_contains(f.name)) slot = AsText(*v).value_or("");
  }
  for (const auto& f : kFields) Log(Cat({f.name, "=", settings_.*f.slot}));
}

// ---- Exchanges ----

bool TaminClient::Tamin_Take_Token(const std::string& login_url, const std::string& client_id,
                                   const std::string& secret, std::string& token_slot,
                                   std::string& error_slot) {
  try {
    std::string body =
        Cat({"client_id=", FormEncode(client_id), "&secret=", FormEncode(secret)});
    HttpReply reply = http_.Post(
        login_url, {"Content-Type: application/x-www-form-urlencoded; charset=utf-8"}, body);
    auto answer = ParseObject(reply.body);
    if (!answer || ReadStatus(*answer) != 200) return false;
    token_slot.clear();
    token_slot = MemberText(*answer, "data");
    return true;
  } catch (const std::exception& e) {
    error_slot = e.what();
    return false;
  }
}

bool TaminClient::Tamin_Send_Visit(const std::string& url, const std::string& token,
                                   const std::string& body, std::string& error_slot,
                                   std::string& result_slot) {
  std::lock_guard lock(state_mutex_);
  return SendVisitLocked(url, token, body, error_slot, result_slot);
}

bool TaminClient::SendVisitLocked(const std::string& url, const std::string& token,
                                  const std::string& body, std::string& error_slot,
                                  std::string& result_slot) {
  Log(Cat({"Tamin_Send_Visit", url}));
  try {
    HttpReply reply = http_.Post(url,
                                 {"Authorization: Bearer " + token,
                                  "Content-Type: application/json", "Accept-Encoding: UTF-8"},
                                 body);
    Log(Cat({"jsn=", reply.body}));
    auto answer = ParseObject(reply.body);
    std::int32_t status = answer ? ReadStatus(*answer).value_or(0) : 0;
    std::string family = answer ? MemberText(*answer, "family") : std::string();
    std::string reason = answer ? MemberText(*answer, "reason") : std::string();
    if (status == 401) {
      if (!Tamin_Take_Token(settings_.tamin_auth_api_login_url, settings_.tamin_client_id,
                            settings_.tamin_secret, token_, last_message_)) {
        result_slot = Cat({kOpeningPieceResult0, last_message_, " 112", kClosingPiece});
        return true;
      }
    }
    SubmissionFields f = ReadSubmissionFields(answer ? &*answer : nullptr);
    Log(Cat({"status=", std::to_string(status)}));
    Log(Cat({"family=", family}));
    Log(Cat({"reason=", reason}));
    Log(Cat({"trackingCode=", f.trackingCode}));
    Log(Cat({"error_Msg=", f.error_Msg}));
    Log(Cat({"error_Code=", f.error_Code}));
    Log(Cat({"complemantary_Msg=", f.complemantary_Msg}));
    Log(Cat({"head_EPRSC_ID=", f.head_EPRSC_ID}));
    result_slot = Cat({f.trackingCode, kLfCr, f.error_Msg, kLfCr, f.error_Code, kLfCr,
                       f.complemantary_Msg, kLfCr, f.head_EPRSC_ID});
    return true;
  } catch (const std::exception& e) {
    error_slot = e.what();
    return false;
  }
}

// ---- Request 112 ----

std::string TaminClient::F_112(const std::string& /*request_id: every answer names 112*/,
                               const std::string& prescription) {
  try {
    std::lock_guard lock(state_mutex_);
    return F112Locked(prescription);
  } catch (const std::exception& e) {
    // Nothing above should throw; listener 1 must still get an answer of this form.
    return EnvelopeWithB64(e.what());
  }
}

std::string TaminClient::F112Locked(const std::string& prescription) {
  Log("F_112");
  std::string answer;
  if (token_.empty()) {
    if (!Tamin_Take_Token(settings_.tamin_auth_api_login_url, settings_.tamin_client_id,
                          settings_.tamin_secret, token_, last_message_)) {
      answer = EnvelopeWithB64(last_message_);
    }
  }
  Log(Cat({"Token_Tamin=", token_}));
  Log(Cat({"sp_params=", prescription}));
  if (token_.empty()) return answer;

  std::string result = LastResult();
  if (SendVisitLocked(settings_.tamin_main_url + settings_.tamin_PostQuery, token_,
                      prescription, last_message_, result)) {
    PublishLastResult(result);
    return EnvelopeWithB64(result);
  }
  if (Tamin_Take_Token(settings_.tamin_auth_api_login_url, settings_.tamin_client_id,
                       settings_.tamin_secret, token_, last_message_)) {
    return std::string(kRetryAnswer);
  }
  return EnvelopeWithB64(last_message_);
}

// ---- Test commands ----

void TaminClient::TestTaminTokenA(const std::filesystem::path& test_values_file) {
  auto values = LoadTaminTestValues(test_values_file);
  if (!values) {
    console_.MessageBox("No e-prescription test credentials are configured (" +
                        test_values_file.string() + ")");
    return;
  }
  Boxes boxes;
  {
    std::lock_guard lock(state_mutex_);
    if (!Tamin_Take_Token(values->login_url, values->client_id, values->secret, token_,
                          last_message_)) {
      boxes.push_back(last_message_);
    } else {
      boxes.push_back("Token: " + token_);
      std::string result = LastResult();
      if (SendVisitLocked(values->send_url, token_, values->prescription, last_message_,
                          result)) {
        PublishLastResult(result);
      }
      boxes.push_back(result);
    }
  }
  Show(boxes);
}

void TaminClient::TestTaminTokenB() {
  Boxes boxes;
  {
    std::lock_guard lock(state_mutex_);
    active_ = false;
    token_.clear();
    LoadActiveLocked(boxes);
    if (active_) LoadSettingsLocked(boxes);
    boxes.push_back(F112Locked("1"));
  }
  Show(boxes);
}

void TaminClient::TestSampleAnswer() {
  auto answer = ParseObject(kSampleSubmissionAnswer);
  SubmissionFields f = ReadSubmissionFields(answer ? &*answer : nullptr);
  Show({f.trackingCode, f.error_Msg, f.error_Code, f.complemantary_Msg});
}

}  // namespace veltra
