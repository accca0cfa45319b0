// The HTTP client of the e-prescription client: one POST per call, over a fresh connection.
// CurlHttpClient is the real one (libcurl over OpenSSL); tests drive it against a local
// HTTPS service.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

struct HttpReply {
  int status = 0;            // status line code (the e-prescription flows do not look at it)
  std::string content_type;  // as the server sent it, empty when absent
  std::string body;          // content coding undone, converted to UTF-8 from its charset
};

// An exchange that produced no readable answer (no connection, time-out, TLS failure, invalid
// URL, undecodable body). The message is what the operator sees.
class HttpError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class HttpClient {
 public:
  virtual ~HttpClient() = default;
  // `headers` are complete header lines ("Name: value"); they are sent exactly as given and
  // replace any default header of the same name. Throws HttpError.
  virtual HttpReply Post(const std::string& url, const std::vector<std::string>& headers,
                         const std::string& body) = 0;
};

class CurlHttpClient : public HttpClient {
 public:
  // `extra_ca_file`: PEM certificates trusted in addition to the system store (empty: none).
  // `timeout` applies separately to connecting, to sending and to waiting for the answer.
  explicit CurlHttpClient(std::string extra_ca_file = {},
                          std::chrono::seconds timeout = std::chrono::seconds(60));
  HttpReply Post(const std::string& url, const std::vector<std::string>& headers,
                 const std::string& body) override;

 private:
  std::string extra_ca_file_;
  std::chrono::seconds timeout_;
};

// Undoes a Content-Encoding value ("gzip", "x-gzip", "deflate", "identity", or a comma
// separated list of them, applied in order). Throws HttpError for anything else.
std::string UndoContentCoding(std::string_view content_encoding, std::string body);
// The charset parameter of a Content-Type value, lower-cased; "utf-8" when it names none.
std::string ReplyCharset(std::string_view content_type);
// `bytes` in `charset` as UTF-8 text (a leading byte order mark dropped; malformed UTF-8
// becomes U+FFFD). Throws HttpError for a charset the platform cannot convert.
std::string DecodeReplyText(std::string_view charset, std::string_view bytes);

}  // namespace veltra
