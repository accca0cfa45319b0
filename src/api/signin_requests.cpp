// Sign-in, the clock requests and the numbered operation with the fifteen filter values.
// The service authenticates nobody itself: it relays the database's verdict.
#include <string>

#include "api/api_request.h"
#include "wire/text.h"

namespace veltra::api {
namespace {

// Request 1111: the procedure's result code is the answer; its message goes to the log only.
std::string SignInCode(const ApiRequest& r) {
  r.Log(" SP_Login_1111");
  const std::string password = r.Field("password");
  const std::string username = r.Field("username");
  const auto outputs = r.gateway.ExecOutputs("sp_users_login;1", {username, password}, {3, 4});
  const std::string message = outputs.at(0).value_or("");
  const std::int32_t code = outputs.at(1) ? StrToInt(*outputs.at(1)) : 0;
  std::string answer = std::to_string(code);
  r.Log(" SP_Login_1111 Result = " + message);
  return answer;
}

// Request 1112: the procedure's rows are the answer.
std::string SignInRows(const ApiRequest& r) {
  r.Log(" SP_Login_1112");
  const std::string password = r.Field("password");
  const std::string username = r.Field("username");
  std::string answer = r.gateway.ExecEnvelope("_sp_users_login;1", {username, password});
  r.Log(" SP_Login_1112 Result = ");
  return answer;
}

// Request 1119: the operation n_permission under the signed-in user with a fixed filter list.
std::string FilteredOperation(const ApiRequest& r) {
  r.Log(r.Field("n_permission"));
  const std::string token = r.Field("Login_User_Token");
  const std::string user_cp = r.Field("Login_User_cp");
  const std::string filter = QuotedValueList(
      r.Fields({"fdate", "tdate", "ftime", "ttime", "cp", "cp_expert", "cs", "c_pay", "c_bnk",
                "c_insura", "c_insura_sub", "ins_cp", "edi_cp", "del_cp", "descr"}));
  return r.gateway.ExecProc("_Exec_Proc", r.Field("n_permission"), filter, token, user_cp);
}

}  // namespace

void AddSignInRequests(RequestTable& table) {
  table[1010] = [](const ApiRequest& r) { return r.gateway.ServerDate(); };
  table[1011] = [](const ApiRequest& r) { return r.gateway.ServerTime(); };
  table[1111] = SignInCode;
  table[1112] = SignInRows;
  table[1119] = FilteredOperation;
}

}  // namespace veltra::api
