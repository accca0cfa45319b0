#include "files/upload_listener.h"

#include "files/file_store.h"
#include "wire/multipart.h"
#include "wire/request_fields.h"

namespace veltra {

void UploadListener::Handle(const HttpRequest& request, HttpResponse& /*response*/) {
  ParamList parts;
  ReadRequestParams(request.ContentType(),
                    RequestPieces(request.ContentType(), request.body, request.query),
                    request.body, parts);

  // The last file part is the upload and the last "CP" value the person; the file part's
  // field name does not matter.
  const TParamStream* file = nullptr;
  std::string cp;
  for (const auto& part : parts) {
    if (!part->ParamFileName.empty()) {
      file = part.get();
    } else if (part->ParamName == "CP") {
      cp = part->ParamValue;
    }
  }
  if (file == nullptr) return;

  const std::string destination = gateway_.OpenField(
      "_9703_images_path_and_file_name_for_per_new",
      {db::Binding::Named("cp", cp), db::Binding::Named("file_name", "1"),
       db::Binding::Named("lucp", "1")},
      "per_path_with_name");
  if (destination.empty()) return;

  // The folder is the database's to provide; a missing one fails the request.
  SaveToFile(destination, file->Bytes());
  if (!FileExists(destination)) return;

  gateway_.OpenField("_9704_images_insert_from_exe_wb_service",
                     {db::Binding::Named("cp", cp), db::Binding::Named("pfile", ""),
                      db::Binding::Named("nfile", NameAfterLast(destination, "\\:/")),
                      db::Binding::Named("cfile", ""), db::Binding::Named("lucp", "0")},
                     "s_result");
}

}  // namespace veltra
