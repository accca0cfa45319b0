#include "api/listener1.h"

#include <stdexcept>
#include <string>

#include <boost/json.hpp>

#include "wire/request_fields.h"
#include "wire/text.h"
#include "wire/transport_coding.h"

namespace veltra::api {
namespace {

void SetJsonHeaders(HttpResponse& response) {
  response.content_type = "application/json";
  response.charset = "ASCII";
  response.AddHeader("Access-Control-Allow-Origin", "*");
  response.AddHeader("Access-Control-Allow-Methods", "*");
  response.AddHeader("Access-Control-Allow-Headers",
                     "Origin, X-Requested-With, Content-Type, Accept, Authorization");
  response.AddHeader("Cache-Control", "no-cache");
}

// The final blank goes again with the Trim of TransportEncode.
std::string Confirmation(const std::string& id_text) {
  return "{\"Data\":[{\"s_result\":\"1\",\"s_message\":\"OK  " + id_text +
         "\",\"s_param\":\"0\"}]} ";
}

}  // namespace

int FirstRowResult(const std::string& envelope) {
  const boost::json::value parsed = boost::json::parse(envelope);
  const boost::json::object* top = parsed.if_object();
  const boost::json::value* data = top != nullptr ? top->if_contains("Data") : nullptr;
  const boost::json::array* rows = data != nullptr ? data->if_array() : nullptr;
  if (rows == nullptr || rows->empty() || !rows->front().is_object()) {
    throw std::runtime_error("The permission check answered no row");
  }
  const boost::json::value* result = rows->front().as_object().if_contains("s_result");
  if (result == nullptr || !result->is_string()) {
    throw std::runtime_error("Field 's_result' not found");
  }
  return StrToInt(std::string(result->as_string()));
}

Listener1::Listener1(const TServiceSettings& settings, db::StoredProcGateway& gateway,
                     Console& console, const Clock& clock, Prescriber& prescriber)
    : settings_(settings),
      gateway_(gateway),
      console_(console),
      clock_(clock),
      prescriber_(prescriber) {
  AddSignInRequests(requests_);
  AddPersonRequests(requests_);
  AddLookupRequests(requests_);
  AddDocumentRequests(requests_);
}

void Listener1::Handle(const HttpRequest& request, HttpResponse& response) {
  const std::string raw = ParameterText(request.ContentType(), request.body, request.query);
  // Decoded once; every field of the frame and of the bodies is looked up in this text.
  const std::string text = TransportDecode(Trim(raw), settings_.Coding_Mode);
  const ApiRequest r{text, gateway_, console_, clock_};
  const std::string id_text = r.Field("id");
  const std::string sp_param = r.Field("sp_param");
  const std::string token = r.Field("Login_User_Token");
  const std::string user_cp = r.Field("Login_User_cp");
  const int id = StrToIntDef(id_text, 0);

  if (console_.IsOn(Switch::kShowRequest)) console_.MessageBox(raw);
  if (console_.IsOn(Switch::kLogCommand)) console_.Append(Memo::kCommand, text);
  if (request.method != "POST") return;

  SetJsonHeaders(response);
  if (console_.IsOn(Switch::kLogService)) {
    LogService(console_, clock_, " CommandGet ");
    console_.Append(Memo::kService, text);
    console_.Append(Memo::kService2, raw);
  }

  switch (id) {
    case 0: response.body = "error"; return;
    case 2: response.body = "22222222222222"; return;
    case 3: response.body = "33333333333333"; return;
    default: break;
  }

  std::string answer;
  if (auto it = requests_.find(id); it != requests_.end()) {
    answer = it->second(r);
  } else if (id >= 1000) {
    answer = GenericAnswer(r, id, id_text, sp_param, token, user_cp);
  } else {
    answer = PermissionCheck(r, id, id_text, sp_param, token, user_cp);
  }
  // Answers are ASCII by construction; anything else that slips through becomes "?".
  response.body = AsciiOrQuestionMark(TransportEncode(answer, settings_.Coding_Mode));
  if (response.body.empty()) LeaveForDefaultAnswer(response);
}

std::string Listener1::GenericAnswer(const ApiRequest& r, int id, const std::string& id_text,
                                     const std::string& sp_param, const std::string& token,
                                     const std::string& user_cp) {
  r.Log(std::to_string(id));
  LogServiceRaw(console_, sp_param);
  return gateway_.ExecProc("_Exec_Proc", id_text, sp_param, token, user_cp);
}

std::string Listener1::PermissionCheck(const ApiRequest& r, int id, const std::string& id_text,
                                       const std::string& sp_param, const std::string& token,
                                       const std::string& user_cp) {
  r.Log(std::to_string(id));
  LogServiceRaw(console_, sp_param);
  prescriber_.ClearLastResult();
  std::string check =
      gateway_.ExecProc("_Exec_Proc", id_text, settings_.EmptyProcParams, token, user_cp);
  if (FirstRowResult(check) != 1) return check;
  if (id == 112) return prescriber_.F_112(id_text, sp_param);
  return Confirmation(id_text);
}

}  // namespace veltra::api
