// Person records: the short list, the main list, one person for editing, insert, update and
// registration. The procedures own every rule; the service passes the named fields by position.
#include <string>

#include "api/api_request.h"
#include "wire/text.h"

namespace veltra::api {
namespace {

std::string ShortPersonList(const ApiRequest& r) {
  return r.gateway.QueryEnvelope("select cp,np from per ");
}

std::string MainPersonList(const ApiRequest& r) {
  r.Log("SP_Per_Select_main_2221");
  std::string answer = r.gateway.ExecEnvelope("SP_Per_Select_main_2221", {});
  if (r.console.IsOn(Switch::kShowResponse)) r.console.MessageBox(answer);
  return answer;
}

std::string PersonForUpdate(const ApiRequest& r) {
  r.Log(" sp_per_select_for_update_2472");
  const std::string user_cp = r.Field("Login_User_cp");
  const std::string token = r.Field("Login_User_Token");
  const std::string cp = r.Field("cp");
  std::string answer = r.gateway.ExecProcQuiet("_Exec_Proc", "sp_per_select_for_update_2472",
                                               Quoted(cp), token, user_cp);
  r.Log(" sp_per_select_for_update_2472 Result = ");
  return answer;
}

std::string InsertPerson(const ApiRequest& r) {
  r.Log(" SP_Per_Insert_2223");
  const auto outputs = r.gateway.ExecOutputs(
      "sp_per_insert;1",
      r.Fields({"np", "nid", "unid", "eid", "fname", "lname", "father", "mobil", "tel", "fax",
                "email", "web", "addr1", "pocd1", "addr2", "pocd2", "login_user_cp"}),
      {18});
  std::string answer = std::to_string(outputs.at(0) ? StrToInt(*outputs.at(0)) : 0);
  r.Log(" SP_Per_Insert_2223 Result = ");
  return answer;
}

// The answer is the person code read back as an integer. It is converted only after the
// update ran, so a code that is not a number fails the request with the update already done.
std::string UpdatePerson(const ApiRequest& r) {
  r.Log(" SP_Per_Update_2224");
  r.gateway.ExecOutputs(
      "sp_per_update;1",
      r.Fields({"cp", "np", "nid", "unid", "eid", "fname", "lname", "father", "mobil", "tel",
                "fax", "email", "web", "addr1", "pocd1", "addr2", "pocd2", "login_user_cp"}),
      {});
  std::string answer = std::to_string(StrToInt(r.Field("cp")));
  r.Log(" SP_Per_Update_2224 Result = ");
  return answer;
}

std::string RegisterPerson(const ApiRequest& r) {
  r.Log(" sp_per_insert_register_2227");
  std::string answer = r.gateway.ExecEnvelope(
      "sp_per_insert_register",
      r.Fields({"np",         "nid",       "unid",      "rnid",      "fnid",     "eid",
                "fname",      "lname",     "father",    "mobil",     "tel",      "fax",
                "email",      "web",       "addr1",     "pocd1",     "addr2",    "pocd2",
                "nu",         "pw_1",      "pw_2",      "ccountry",  "cprovince", "ccity",
                "sdate",      "edate",     "bdate",     "mdate",     "c_sex",    "c_edu",
                "c_mar",      "c_job",     "c_rel",     "c_ser_loc", "c_rff",    "c_bnk",
                "c_intro",    "foreigners", "legal",    "cg",        "cgs",      "c_insura",
                "c_insura_sub", "insura_num", "bank_acc", "descr"}));
  r.Log(" sp_per_insert_register_2227 Result = ");
  return answer;
}

}  // namespace

void AddPersonRequests(RequestTable& table) {
  table[1] = ShortPersonList;
  table[2221] = MainPersonList;
  table[2472] = PersonForUpdate;
  table[2223] = InsertPerson;
  table[2224] = UpdatePerson;
  table[2227] = RegisterPerson;
}

}  // namespace veltra::api
