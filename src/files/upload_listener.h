// Listener 3: image uploads as HTML form posts, filed for a person record where the database
// says. The client is not told whether a file was stored.
#pragma once

#include "db/gateway.h"
#include "host/http.h"

namespace veltra {

class UploadListener {
 public:
  explicit UploadListener(db::StoredProcGateway& gateway) : gateway_(gateway) {}

  void Handle(const HttpRequest& request, HttpResponse& response);

 private:
  db::StoredProcGateway& gateway_;
};

}  // namespace veltra
