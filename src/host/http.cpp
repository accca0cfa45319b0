#include "host/http.h"

namespace veltra {
namespace {

bool SameNameNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

}  // namespace

std::string HttpRequest::Header(std::string_view name) const {
  for (const auto& [n, v] : headers) {
    if (SameNameNoCase(n, name)) return v;
  }
  return {};
}

}  // namespace veltra
