// A stand-in for the e-prescription service: real HTTPS on 127.0.0.1 with a certificate from
// a test CA of its own, one thread per connection, every request recorded.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace veltra::testing {

// A CA and a server certificate for localhost and 127.0.0.1, made once per test process with
// the openssl tool in a temporary folder.
struct TestPki {
  std::filesystem::path ca_cert, server_cert, server_key;
  static const TestPki& Get();
};

struct FakeRequest {
  std::string method, target, body;
  std::vector<std::pair<std::string, std::string>> headers;  // as sent, in order

  // Values of the headers of that name (any letter case), in order.
  std::vector<std::string> All(const std::string& name) const;
  std::string Header(const std::string& name) const;  // the first, "" when absent
};

struct FakeReply {
  int status = 200;
  std::string content_type = "application/json";
  std::string body;
  std::string content_encoding;  // sent as given; the body must already be coded that way
  bool drop = false;             // close the connection without answering
};

// gzip / zlib-wrapped deflate of `data`, for replies with a content coding.
std::string Gzip(const std::string& data);
std::string Deflate(const std::string& data);

class FakeTaminServer {
 public:
  using Handler = std::function<FakeReply(const FakeRequest&)>;

  FakeTaminServer();
  ~FakeTaminServer();
  FakeTaminServer(const FakeTaminServer&) = delete;
  FakeTaminServer& operator=(const FakeTaminServer&) = delete;

  void SetHandler(Handler handler);
  unsigned short Port() const { return port_; }
  // "https://localhost:<port>" followed by `path`.
  std::string Url(const std::string& path = {}) const;
  std::vector<FakeRequest> Requests() const;
  // Most requests handled at the same time so far.
  int MaxInFlight() const { return max_in_flight_; }

 private:
  struct Impl;
  void AcceptLoop();
  void Serve(void* socket);

  std::unique_ptr<Impl> impl_;
  unsigned short port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> in_flight_{0};
  std::atomic<int> max_in_flight_{0};
  std::thread acceptor_thread_;

  mutable std::mutex mutex_;  // guards handler_, requests_ and workers_
  Handler handler_;
  std::vector<FakeRequest> requests_;
  std::vector<std::thread> workers_;
};

// A loopback port with nothing listening on it.
unsigned short ClosedPort();

}  // namespace veltra::testing
