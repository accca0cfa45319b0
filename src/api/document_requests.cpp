// Documents: the content travels as text in the field cfile and comes back as text. The
// gateway converts it to and from the 8-bit code page of the database.
#include <string>

#include "api/api_request.h"

namespace veltra::api {

std::string StoreDocument(const ApiRequest& r) {
  r.Log("sp_doc_file_insert_2701_string");
  return r.gateway.DocFileInsert(r.Field("cp"), r.Field("cfile"), r.Field("nfile"),
                                 r.Field("pfile"), r.Field("Login_User_Token"),
                                 r.Field("Login_User_cp"));
}

std::string ReadDocument(const ApiRequest& r) {
  r.Log(" sp_doc_file_select_cfile_2706");
  return r.gateway.DocFileReadContent(r.Field("id_file"), r.Field("Login_User_Token"),
                                      r.Field("Login_User_cp"));
}

namespace {

std::string ReplaceDocument(const ApiRequest& r) {
  r.Log("sp_doc_file_update_2703_string");
  return r.gateway.DocFileUpdate(r.Field("id_file"), r.Field("cfile"), r.Field("nfile"),
                                 r.Field("pfile"), r.Field("Login_User_Token"),
                                 r.Field("Login_User_cp"));
}

}  // namespace

void AddDocumentRequests(RequestTable& table) {
  table[2701] = StoreDocument;
  table[2703] = ReplaceDocument;
  table[2706] = ReadDocument;
}

}  // namespace veltra::api
