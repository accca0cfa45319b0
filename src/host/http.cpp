#include "host/http.h"

#include "wire/text.h"

namespace veltra {
std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (EqualsNoCase(n, name)) return v;
  }
  return {};
}

}  // namespace veltra
