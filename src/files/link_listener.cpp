#include "files/link_listener.h"

#include <memory>

#include "files/file_body.h"
#include "files/file_store.h"
#include "files/media_types.h"
#include "wire/text.h"

namespace veltra {

void LinkListener::Handle(const HttpRequest& request, HttpResponse& response) {
  // The link is the path exactly as sent: escapes unresolved, no query string.
  const std::string& path = request.path;
  LogServiceRaw(console_, path);
  std::string link = path.empty() ? std::string() : path.substr(1);
  LogServiceRaw(console_, " ");
  LogServiceRaw(console_, " 1415 " + link);
  LogServiceRaw(console_, " ");

  db::StatusTriple result = gateway_.ExecProcStatus("1415", Quoted(link), "0", "0");
  // Not an integer (an empty result included) fails the request with the conversion message.
  if (StrToInt(result.s_result) <= 0) {
    response.body = kInvalidLinkAnswer;
    return;
  }
  std::string file = Trim(result.s_message);
  if (file.empty()) {
    response.body = kInvalidLinkAnswer;
    return;
  }
  if (!FileExists(file)) {
    response.body = kLinkFileMissingAnswer;
    return;
  }
  auto source = std::make_shared<FileBodySource>(PathFromUtf8(file));
  response.content_type = MediaTypeForPath(file);
  response.AddHeader("Access-Control-Allow-Origin", "*");
  response.stream = std::move(source);
}

}  // namespace veltra
