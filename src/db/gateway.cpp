#include "db/gateway.h"

#include <stdexcept>

#include "db/code_page.h"
#include "wire/envelope.h"
#include "wire/html_table.h"

namespace veltra::db {
namespace {

constexpr const char* kNoResultSet = "The call returned no result set";

std::vector<Binding> Positional(const std::vector<std::string>& values) {
  std::vector<Binding> b;
  for (std::size_t i = 0; i < values.size(); ++i) b.push_back(Binding::At(static_cast<int>(i) + 1, values[i]));
  return b;
}

Call ProcCall(const std::string& name, std::vector<Binding> inputs, RunMode mode = RunMode::kExecute) {
  Call c;
  c.procedure = name;
  c.mode = mode;
  c.inputs = std::move(inputs);
  return c;
}

std::string Envelope(CallResult& r) {
  if (!r.rows) throw std::runtime_error(kNoResultSet);
  return DataSetToEnvelope(*r.rows);
}

// One field of the first row: "" when there is no row or the value is NULL; an error when
// the result set has no such column.
std::string FirstRowField(RowSet& rows, const std::string& field) {
  int column = rows.FindColumn(field);
  if (column < 0) rows.FieldByName(field);  // throws "Field '...' not found"
  rows.First();
  if (rows.RowCount() == 0) return {};
  return rows.Value(static_cast<std::size_t>(column)).value_or("");
}

}  // namespace

std::string StoredProcGateway::ExecProc(const std::string& name, const std::string& a,
                                        const std::string& b, const std::string& c,
                                        const std::string& d) {
  bool show = console_.IsOn(Switch::kShowResponse);
  Call call = ProcCall(name, Positional({a, b, c, d}));
  if (show) call.after_connect = [&] { console_.MessageBox(b); };
  CallResult r = db_.Run(call);
  std::string envelope = Envelope(r);
  if (show) console_.MessageBox(DataSetToEnvelope(*r.rows));
  return envelope;
}

std::string StoredProcGateway::ExecProcQuiet(const std::string& name, const std::string& a,
                                             const std::string& b, const std::string& c,
                                             const std::string& d) {
  CallResult r = db_.Run(ProcCall(name, Positional({a, b, c, d})));
  return Envelope(r);
}

std::string StoredProcGateway::ServerDate() {
  return ExecOutputs("sp_server_date;1", {}, {1}).at(0).value_or("");
}

std::string StoredProcGateway::ServerTime() {
  return ExecOutputs("sp_server_time;1", {}, {1}).at(0).value_or("");
}

std::string StoredProcGateway::QueryEnvelope(const std::string& sql) {
  Call call;
  call.procedure = sql;
  call.is_query = true;
  call.mode = RunMode::kOpen;
  CallResult r = db_.Run(call);
  return Envelope(r);
}

std::string StoredProcGateway::ExecEnvelope(const std::string& name,
                                            const std::vector<std::string>& positional) {
  CallResult r = db_.Run(ProcCall(name, Positional(positional)));
  return Envelope(r);
}

std::vector<std::optional<std::string>> StoredProcGateway::ExecOutputs(
    const std::string& name, const std::vector<std::string>& positional,
    const std::vector<int>& outputs) {
  Call call = ProcCall(name, Positional(positional));
  call.outputs = outputs;
  CallResult r = db_.Run(call);
  r.outputs.resize(outputs.size());
  return r.outputs;
}

std::string StoredProcGateway::OpenField(const std::string& name, const std::vector<Binding>& named,
                                         const std::string& field) {
  CallResult r = db_.Run(ProcCall(name, named, RunMode::kOpen));
  if (!r.rows) throw std::runtime_error(kNoResultSet);
  return FirstRowField(*r.rows, field);
}

StatusTriple StoredProcGateway::ExecProcStatus(const std::string& a, const std::string& b,
                                               const std::string& c, const std::string& d) {
  Call call = ProcCall("_Exec_Proc", Positional({a, b, c, d}));
  if (console_.IsOn(Switch::kShowResponse)) call.after_connect = [&] { console_.MessageBox(b); };
  CallResult r = db_.Run(call);
  if (!r.rows) throw std::runtime_error(kNoResultSet);
  StatusTriple t;
  t.s_result = FirstRowField(*r.rows, "s_result");
  t.s_message = FirstRowField(*r.rows, "s_message");
  t.s_param = FirstRowField(*r.rows, "s_param");
  return t;
}

std::string StoredProcGateway::ExecProcHtml(const std::string& name, const std::string& a,
                                            const std::string& b, const std::string& c,
                                            const std::string& d) {
  Call call = ProcCall(name, Positional({a, b, c, d}), RunMode::kOpen);
  if (console_.IsOn(Switch::kShowResponse)) call.after_connect = [&] { console_.MessageBox(b); };
  CallResult r = db_.Run(call);
  if (!r.rows) throw std::runtime_error(kNoResultSet);
  return DataSetToHtmlTable(*r.rows);
}

std::unique_ptr<RowSet> StoredProcGateway::ExecRows(const std::string& name,
                                                    const std::vector<Binding>& named) {
  CallResult r = db_.Run(ProcCall(name, named));
  if (!r.rows) return std::make_unique<MemoryRowSet>();
  return std::move(r.rows);
}

std::string StoredProcGateway::DocFileInsert(const std::string& cp, const std::string& cfile,
                                             const std::string& nfile, const std::string& pfile,
                                             const std::string& token, const std::string& user_cp) {
  CallResult r = db_.Run(ProcCall("sp_doc_file_insert_2701",
                                  {Binding::Named("cp", cp), Binding::Named("cfile", cfile, true),
                                   Binding::Named("nfile", nfile), Binding::Named("pfile", pfile),
                                   Binding::Named("Login_User_Token", token),
                                   Binding::Named("Login_User_cp", user_cp)}));
  return Envelope(r);
}

std::string StoredProcGateway::DocFileUpdate(const std::string& id_file, const std::string& cfile,
                                             const std::string& nfile, const std::string& pfile,
                                             const std::string& token, const std::string& user_cp) {
  CallResult r = db_.Run(ProcCall("sp_doc_file_update_2703",
                                  {Binding::Named("id_file", id_file),
                                   Binding::Named("cfile", cfile, true),
                                   Binding::Named("nfile", nfile), Binding::Named("pfile", pfile),
                                   Binding::Named("Login_User_Token", token),
                                   Binding::Named("Login_User_cp", user_cp)}));
  return Envelope(r);
}

std::string StoredProcGateway::DocFileReadContent(const std::string& id_file,
                                                  const std::string& token,
                                                  const std::string& user_cp) {
  CallResult r = db_.Run(ProcCall("sp_doc_file_select_cfile_2706",
                                  Positional({id_file, token, user_cp}), RunMode::kOpen));
  if (!r.rows) throw std::runtime_error(kNoResultSet);
  // The content is 8-bit text of the code page: whatever else the column holds cannot
  // have come from the service and would not survive the way back either.
  return ThroughCodePage(FirstRowField(*r.rows, "cfile"), code_page_);
}

}  // namespace veltra::db
