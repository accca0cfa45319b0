// Scheduling (2340) and the eighteen code lists. Four lists are narrowed by a parent code.
#include <string>

#include "api/api_request.h"
#include "wire/text.h"

namespace veltra::api {
namespace {

struct LookupList {
  int id;
  const char* procedure;
  const char* parent_field;  // nullptr: the procedure takes no parameter
  const char* literal;       // before line; the after line adds " Result = "
};

// The procedure names of 2351 and 2352 carry no request number although their log lines do.
constexpr LookupList kLookupLists[] = {
    {2351, "sp_weekly_select", nullptr, " sp_weekly_select_2351"},
    {2352, "sp_ser_select", nullptr, " sp_ser_select_2352"},
    {2371, "sp_country_select_2371", nullptr, " sp_country_select_2371"},
    {2372, "sp_province_select_2372", "ccountry", " sp_province_select_2372"},
    {2373, "sp_city_select_2373", "cprovince", " sp_city_select_2373"},
    {2374, "sp_per_sex_select_2374", nullptr, " sp_per_sex_select_2374"},
    {2375, "sp_per_edu_select_2375", nullptr, " sp_per_edu_select_2375"},
    {2376, "sp_per_mar_select_2376", nullptr, " sp_per_mar_select_2376"},
    {2377, "sp_per_job_select_2377", nullptr, " sp_per_job_select_2377"},
    {2378, "sp_per_rel_select_2378", nullptr, " sp_per_rel_select_2378"},
    {2379, "sp_per_ser_loc_select_2379", nullptr, " sp_per_ser_loc_select_2379"},
    {2380, "sp_per_rff_select_2380", nullptr, " sp_per_rff_select_2380"},
    {2381, "sp_per_bnk_select_2381", nullptr, " sp_per_bnk_select_2381"},
    {2382, "sp_per_group_select_2382", nullptr, " sp_per_group_select_2382"},
    {2383, "sp_per_group_sub_select_2383", "cg", " sp_per_group_sub_select_2383"},
    {2384, "sp_insura_select_2384", nullptr, " sp_insura_select_2384"},
    {2385, "sp_insura_sub_select_2385", "c_insura", " sp_insura_sub_select_2385"},
    {2386, "sp_per_intro_select_2386", nullptr, " sp_per_intro_select_2386"},
};

std::string ListRequest(const LookupList& list, const ApiRequest& r) {
  r.Log(list.literal);
  std::vector<std::string> positional;
  if (list.parent_field != nullptr) positional.push_back(r.Field(list.parent_field));
  std::string answer = r.gateway.ExecEnvelope(list.procedure, positional);
  r.Log(std::string(list.literal) + " Result = ");
  return answer;
}

// Request 2340: unlike 1119 and 2472, each value is trimmed before it is quoted.
std::string CreateTimings(const ApiRequest& r) {
  r.Log(" SP_Timeing_Create_2340");
  std::vector<std::string> values = r.Fields({"fday", "tday", "StartTime", "EndTime", "amount",
                                              "c_week", "cp_expert", "cs", "time_count"});
  for (auto& value : values) value = Trim(value);
  const std::string token = r.Field("Login_User_Token");
  const std::string user_cp = r.Field("Login_User_cp");
  std::string answer = r.gateway.ExecProcQuiet("_Exec_Proc", "sp_timeing_create_2340",
                                               QuotedValueList(values), token, user_cp);
  r.Log(" SP_Timeing_Create_2340 Result = ");
  return answer;
}

}  // namespace

void AddLookupRequests(RequestTable& table) {
  table[2340] = CreateTimings;
  for (const LookupList& list : kLookupLists) {
    table[list.id] = [&list](const ApiRequest& r) { return ListRequest(list, r); };
  }
}

}  // namespace veltra::api
