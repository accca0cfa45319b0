// Helpers for the host tests: temporary folders, files, test certificates, free loopback
// ports and a small HTTP(S) client that sends raw bytes and reads until the server closes.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace veltra::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  // The folder with a trailing separator, as ExeFolder is.
  std::string folder() const { return path_.string() + "/"; }

 private:
  std::filesystem::path path_;
};

void WriteFile(const std::filesystem::path& path, const std::string& content);
std::string ReadFile(const std::filesystem::path& path);

// A self-signed certificate for localhost as MySSL/Cabundle.crt, MySSL/CRT.crt and
// MySSL/Private-key.crt under `exe_folder`.
void MakeCertificates(const std::filesystem::path& exe_folder);

// A loopback TCP port nobody listens on at the moment of the call.
std::uint16_t FreePort();

struct Response {
  bool received = false;  // something came back before the connection ended
  int status = 0;
  std::string raw;
  std::string head;  // status line and headers
  std::string body;
  std::string Header(const std::string& name) const;  // first such header, "" when absent
};

Response Parse(const std::string& raw);

// Connects to 127.0.0.1:port, sends `request` and reads until the server closes the
// connection or `timeout` passes. `tls`: speaks TLS first (handshake failures give an
// empty response).
Response Exchange(std::uint16_t port, const std::string& request, bool tls = false,
                  std::chrono::milliseconds timeout = std::chrono::seconds(15));

// "GET <target> HTTP/1.1" with Host and Connection: close.
std::string SimpleRequest(const std::string& method, const std::string& target,
                          const std::string& body = "", const std::string& extra_headers = "");

}  // namespace veltra::testing
