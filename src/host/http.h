// One HTTP request and its response, as the listeners hand them to the handlers.
// A handler is a plain function of (request) -> response; an exception that escapes it
// becomes the 500 answer, keeping the content type and headers it had set.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltra {

struct HttpRequest {
  std::string method;        // as received ("POST", "GET", ...)
  std::string target;        // the raw request target
  std::string path;          // raw path: before the first '?', escapes unresolved
  std::string query;         // raw text after the first '?', empty when none
  std::vector<std::pair<std::string, std::string>> headers;  // in arrival order
  std::string body;          // raw bytes
  std::string peer_address;  // the client's IP address
  std::uint16_t local_port = 0;

  // First header of that name, compared without regard to case; empty when absent.
  std::string Header(std::string_view name) const;
  std::string ContentType() const { return Header("Content-Type"); }
};

// A body produced piece by piece (files), so memory does not grow with its size.
class BodySource {
 public:
  virtual ~BodySource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills up to n bytes; returns how many (0 at the end). Throws on a read error.
  virtual std::size_t Read(char* buffer, std::size_t n) = 0;
};

struct HttpResponse {
  int status = 200;
  std::string content_type;  // media type; empty: "text/html" is used
  std::string charset;       // empty: "utf-8" is used
  std::vector<std::pair<std::string, std::string>> headers;  // extra headers, in order
  std::string body;
  std::shared_ptr<BodySource> stream;  // when set, sent instead of `body`

  bool HasContent() const { return !body.empty() || (stream && stream->Size() > 0); }
  void AddHeader(std::string name, std::string value) {
    headers.emplace_back(std::move(name), std::move(value));
  }
};

using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;

// The default answer: status 200 "OK", text/html; charset=utf-8,
// "<HTML><BODY><B>200 OK</B></BODY></HTML>" (no body for HEAD).
inline constexpr std::string_view kDefaultBody = "<HTML><BODY><B>200 OK</B></BODY></HTML>";

}  // namespace veltra
