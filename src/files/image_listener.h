// Listener 4: a person's image, named by person code and image id, as one line of Base64.
// The database gives the full path of the file, which may lie anywhere the host can read.
#pragma once

#include "db/gateway.h"
#include "host/clock.h"
#include "host/console.h"
#include "host/http.h"

namespace veltra {

class ImageListener {
 public:
  ImageListener(db::StoredProcGateway& gateway, Console& console, const Clock& clock)
      : gateway_(gateway), console_(console), clock_(clock) {}

  void Handle(const HttpRequest& request, HttpResponse& response);

 private:
  void Answer(const HttpRequest& request, HttpResponse& response);

  db::StoredProcGateway& gateway_;
  Console& console_;
  const Clock& clock_;
};

}  // namespace veltra
