// Listener 7: files by link. The request path is an opaque link that request 1415 resolves to
// the full path of a file, which is then sent unchanged.
#pragma once

#include <string_view>

#include "db/gateway.h"
#include "host/console.h"
#include "host/http.h"

namespace veltra {

inline constexpr std::string_view kInvalidLinkAnswer =
    "{\"Error  \": \"invalid link OR  invalid Result from 1415   check port \"}";
inline constexpr std::string_view kLinkFileMissingAnswer =
    "{\"Error  \": \"Not FileExists From Result Link 1415 chack path \"}";

class LinkListener {
 public:
  LinkListener(db::StoredProcGateway& gateway, Console& console)
      : gateway_(gateway), console_(console) {}

  void Handle(const HttpRequest& request, HttpResponse& response);

 private:
  db::StoredProcGateway& gateway_;
  Console& console_;
};

}  // namespace veltra
