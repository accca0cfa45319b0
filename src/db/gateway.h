// StoredProcGateway: the operations every listener uses to reach the database. Each one is a
// single Database::Run (one connection, one procedure) plus the console behaviour the
// operations define ("Show Response" boxes). Errors reach the caller unchanged.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "db/database.h"
#include "host/console.h"

namespace veltra::db {

struct StatusTriple {
  std::string s_result, s_message, s_param;
};

class StoredProcGateway {
 public:
  // `code_page` is the 8-bit code page of document content (Windows code page number).
  StoredProcGateway(Database& database, Console& console, int code_page = 1256)
      : db_(database), console_(console), code_page_(code_page) {}

  // Procedure N with positions 1..4 := a, b, c, d; executed; DataEnvelope of its rows.
  // With "Show Response" ticked: b in a box before executing, the envelope in a box after.
  std::string ExecProc(const std::string& name, const std::string& a, const std::string& b,
                       const std::string& c, const std::string& d);
  // The same call without the "Show Response" boxes (requests 2340 and 2472).
  std::string ExecProcQuiet(const std::string& name, const std::string& a, const std::string& b,
                            const std::string& c, const std::string& d);
  // Output parameter 1 of "sp_server_date;1" / "sp_server_time;1".
  std::string ServerDate();
  std::string ServerTime();
  // A plain SQL query opened as rows; its DataEnvelope (request 1).
  std::string QueryEnvelope(const std::string& sql);
  // A procedure executed with positional text inputs 1..n; its DataEnvelope.
  std::string ExecEnvelope(const std::string& name, const std::vector<std::string>& positional);
  // A procedure executed with positional inputs; the requested output positions as text
  // (NULL is nullopt).
  std::vector<std::optional<std::string>> ExecOutputs(const std::string& name,
                                                      const std::vector<std::string>& positional,
                                                      const std::vector<int>& outputs);
  // A procedure opened with named inputs; one field of its first row as text ("" when
  // there is no row or the value is NULL; an error when the field is missing).
  std::string OpenField(const std::string& name, const std::vector<Binding>& named,
                        const std::string& field);
  // Request 1415 and its kin: "_Exec_Proc" executed with positions 1..4, the three result
  // fields of the first row. With "Show Response" ticked, b is shown in a box first.
  StatusTriple ExecProcStatus(const std::string& a, const std::string& b, const std::string& c,
                              const std::string& d);
  // Listener 5: procedure opened as rows, positions 1..4, rendered as the HTML table.
  // "Show Response" shows b before the call only.
  std::string ExecProcHtml(const std::string& name, const std::string& a, const std::string& b,
                           const std::string& c, const std::string& d);
  // Listener 6: procedure executed with named inputs; its rows (an empty set when the
  // procedure returned none).
  std::unique_ptr<RowSet> ExecRows(const std::string& name, const std::vector<Binding>& named);

  // Documents. Content is UTF-8 here; it crosses to the database in the 8-bit code page, so
  // characters outside it are lost.
  std::string DocFileInsert(const std::string& cp, const std::string& cfile,
                            const std::string& nfile, const std::string& pfile,
                            const std::string& token, const std::string& user_cp);
  std::string DocFileUpdate(const std::string& id_file, const std::string& cfile,
                            const std::string& nfile, const std::string& pfile,
                            const std::string& token, const std::string& user_cp);
  std::string DocFileReadContent(const std::string& id_file, const std::string& token,
                                 const std::string& user_cp);

  Console& console() { return console_; }

 private:
  Database& db_;
  Console& console_;
  int code_page_;
};

}  // namespace veltra::db
