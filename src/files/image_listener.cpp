#include "files/image_listener.h"

#include <memory>

#include "files/file_body.h"
#include "files/file_store.h"
#include "wire/request_fields.h"
#include "wire/text.h"

namespace veltra {

namespace {

// Nothing to send: the listener's default page goes out, as text/html, the CORS header
// still on it.
void SendDefaultAnswer(HttpResponse& response) {
  response.content_type.clear();
  response.charset.clear();
  response.body.clear();
  response.stream.reset();
}

}  // namespace

void ImageListener::Handle(const HttpRequest& request, HttpResponse& response) {
  // Set first, so that the error answer keeps them too.
  response.content_type = "application/json";
  response.charset = "ASCII";
  response.AddHeader("Access-Control-Allow-Origin", "*");
  try {
    Answer(request, response);
  } catch (...) {
    // The error answer carries the message as UTF-8, whatever the success answer says.
    response.charset = "utf-8";
    throw;
  }
}

void ImageListener::Answer(const HttpRequest& request, HttpResponse& response) {

  const std::string text =
      Trim(ParameterText(request.ContentType(), request.body, request.query));
  const std::string lucp = FieldValue(text, "lucp");
  const std::string id_images = FieldValue(text, "id_images");
  const std::string cp = FieldValue(text, "cp");

  const std::string path = gateway_.OpenField(
      "_9702_images_path_for_per_with_file_name",
      {db::Binding::Named("cp", cp), db::Binding::Named("id_images", id_images),
       db::Binding::Named("lucp", lucp)},
      "per_file");

  LogService(console_, clock_, " CommandGet ");
  LogServiceRaw(console_, "set fix path for cloud file like c:\\mycam  in 9702  ");
  LogServiceRaw(console_, "Send_File_Name from  SP_9702_images   ");
  LogServiceRaw(console_, path);

  if (!FileExists(path)) {
    LogServiceRaw(console_, "File not Exists");
    SendDefaultAnswer(response);
    return;
  }
  LogServiceRaw(console_, "FileExists");
  // Opened here, so a locked or unreadable file fails the request before anything is sent.
  auto source = std::make_shared<Base64FileBodySource>(PathFromUtf8(path));
  if (source->Size() == 0) {
    SendDefaultAnswer(response);
    return;
  }
  response.stream = std::move(source);
}

}  // namespace veltra
