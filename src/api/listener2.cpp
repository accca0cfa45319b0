#include "api/listener2.h"

#include <string>

#include "api/api_request.h"
#include "wire/request_fields.h"
#include "wire/text.h"
#include "wire/transport_coding.h"

namespace veltra::api {

Listener2::Listener2(const TServiceSettings& settings, db::StoredProcGateway& gateway,
                     Console& console, const Clock& clock)
    : settings_(settings), gateway_(gateway), console_(console), clock_(clock) {}

void Listener2::Handle(const HttpRequest& request, HttpResponse& response) {
  const std::string raw = ParameterText(request.ContentType(), request.body, request.query);
  const std::string text = Trim(raw);
  const ApiRequest r{text, gateway_, console_, clock_};
  const int id = StrToIntDef(r.Field("id"), 0);

  if (console_.IsOn(Switch::kShowRequest)) console_.MessageBox(raw);
  // The command log is the one place listener 2 decodes anything.
  if (console_.IsOn(Switch::kLogCommand)) {
    console_.Append(Memo::kCommand, TransportDecode(text, settings_.Coding_Mode));
  }
  if (request.method != "POST") return;

  response.content_type = "application/json";
  response.charset = "ASCII";
  if (console_.IsOn(Switch::kLogService)) {
    LogService(console_, clock_, " CommandGet ");
    console_.Append(Memo::kService, text);
    console_.Append(Memo::kService2, raw);
  }

  std::string answer;
  switch (id) {
    case 0: answer = "error"; break;
    case 2701: answer = StoreDocument(r); break;
    case 2706: answer = ReadDocument(r); break;
    default: {
      const std::string number = std::to_string(id);
      r.Log(number);
      answer = gateway_.ExecProc("_exec_proc_w_nu_pw", number, r.Field("sp_param"),
                                 r.Field("username"), r.Field("password"));
      break;
    }
  }
  response.body = AsciiOrQuestionMark(answer);
  if (response.body.empty()) LeaveForDefaultAnswer(response);
}

}  // namespace veltra::api
