// One HTTP listener: binds all local IPv4 addresses on a port, serves each connection on a
// thread of its own from start to end, answers one request per connection and closes it.
// HEAD, GET and POST reach the handler; every other method gets the default answer. An
// exception that escapes the handler becomes the 500 answer. Connections that arrive on
// local port 443 speak TLS.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "host/console.h"
#include "host/http.h"
#include "host/settings.h"

namespace veltra {

// Protection the design did not need on a closed network; over a limit the client gets a
// clear answer and the listener goes on serving.
struct ListenerLimits {
  std::uint64_t max_body_bytes = 256ull << 20;  // 413
  std::uint32_t max_header_bytes = 64u << 10;   // 431
  std::uint32_t read_timeout_seconds = 30;      // a client that stalls is dropped
  std::uint32_t max_connections = 256;          // requests beyond it get 503

  static ListenerLimits From(const TServiceSettings& settings);
};

// The three PEM files of the TLS configuration, read again by every Start.
struct TlsFiles {
  std::string ca_bundle;
  std::string certificate;
  std::string private_key;
};

class HttpListener {
 public:
  // `number` is 1..7; only listener 1 reports connects and disconnects.
  HttpListener(int number, Console& console, ListenerLimits limits = {});
  ~HttpListener();
  HttpListener(const HttpListener&) = delete;
  HttpListener& operator=(const HttpListener&) = delete;

  // Before Start. Without a handler every request gets the default answer.
  void SetHandler(Handler handler);
  // Loads the TLS files and opens the listening socket (port 0: any free port). No change
  // when already active. Throws with the operator's message when either fails.
  void Start(std::uint16_t port, const TlsFiles& tls);
  // Closes the listening socket and every connection, and waits for their threads. Safe
  // from any thread except this listener's own connection threads.
  void Stop();
  bool Active() const;
  std::uint16_t LocalPort() const;  // the bound port while active

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The body of the default answer for a status: "<HTML><BODY><B>200 OK</B></BODY></HTML>".
std::string DefaultAnswerBody(int status);

}  // namespace veltra
