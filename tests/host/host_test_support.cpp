#include "host_test_support.h"

#include <cstdlib>
#include <array>
#include <cctype>
#include <fstream>
#include <functional>
#include <memory>
#include <iterator>
#include <random>
#include <stdexcept>

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>

namespace veltra::testing {

namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

TempDir::TempDir() {
  std::random_device rd;
  path_ = std::filesystem::temp_directory_path() /
          ("veltra-host-" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void MakeCertificates(const std::filesystem::path& exe_folder) {
  const auto dir = exe_folder / "MySSL";
  std::filesystem::create_directories(dir);
  const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=localhost"
                          " -keyout '" + (dir / "Private-key.crt").string() + "' -out '" +
                          (dir / "CRT.crt").string() + "' >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) throw std::runtime_error("openssl req failed");
  std::filesystem::copy_file(dir / "CRT.crt", dir / "Cabundle.crt",
                             std::filesystem::copy_options::overwrite_existing);
}

std::uint16_t FreePort() {
  net::io_context ioc;
  tcp::acceptor a(ioc, tcp::endpoint(net::ip::make_address("127.0.0.1"), 0));
  return a.local_endpoint().port();
}

std::string Response::Header(const std::string& name) const {
  std::size_t pos = head.find("\r\n");
  while (pos != std::string::npos && pos + 2 < head.size()) {
    std::size_t end = head.find("\r\n", pos + 2);
    std::string line = head.substr(pos + 2, end == std::string::npos ? std::string::npos
                                                                     : end - pos - 2);
    auto colon = line.find(':');
    if (colon != std::string::npos) {
      std::string n = line.substr(0, colon);
      bool same = n.size() == name.size();
      for (std::size_t i = 0; same && i < n.size(); ++i) {
        same = std::tolower(static_cast<unsigned char>(n[i])) ==
               std::tolower(static_cast<unsigned char>(name[i]));
      }
      if (same) {
        std::string v = line.substr(colon + 1);
        while (!v.empty() && v.front() == ' ') v.erase(0, 1);
        return v;
      }
    }
    pos = end;
  }
  return {};
}

Response Parse(const std::string& raw) {
  Response r;
  r.raw = raw;
  r.received = !raw.empty();
  auto end = raw.find("\r\n\r\n");
  r.head = raw.substr(0, end);
  if (end != std::string::npos) r.body = raw.substr(end + 4);
  if (raw.rfind("HTTP/1.", 0) == 0 && raw.size() > 12) r.status = std::atoi(raw.c_str() + 9);
  return r;
}

namespace {

template <typename Stream>
void Converse(Stream& stream, const std::string& request, std::string& out,
              net::io_context& ioc, std::chrono::milliseconds timeout) {
  auto buffer = std::make_shared<std::array<char, 65536>>();
  std::function<void()> read_more = [&, buffer] {
    stream.async_read_some(net::buffer(*buffer), [&, buffer](auto ec, std::size_t n) {
      out.append(buffer->data(), n);
      if (!ec) read_more();
    });
  };
  // Read what the server says even when it stopped the upload short.
  net::async_write(stream, net::buffer(request), [&](auto, std::size_t) { read_more(); });
  ioc.run_for(timeout);
}

}  // namespace

Response Exchange(std::uint16_t port, const std::string& request, bool tls,
                  std::chrono::milliseconds timeout) {
  net::io_context ioc;
  tcp::socket socket(ioc);
  boost::system::error_code ec;
  socket.connect(tcp::endpoint(net::ip::make_address("127.0.0.1"), port), ec);
  if (ec) return {};
  std::string out;
  if (!tls) {
    Converse(socket, request, out, ioc, timeout);
    return Parse(out);
  }
  ssl::context ctx(ssl::context::tls_client);
  ctx.set_verify_mode(ssl::verify_none);
  ssl::stream<tcp::socket> stream(std::move(socket), ctx);
  bool shaken = false;
  stream.async_handshake(ssl::stream_base::client, [&](auto hec) {
    if (hec) return;
    shaken = true;
    auto buffer = std::make_shared<std::array<char, 65536>>();
    auto read_more = std::make_shared<std::function<void()>>();
    *read_more = [&, buffer, read_more] {
      stream.async_read_some(net::buffer(*buffer), [&, buffer, read_more](auto rec, std::size_t n) {
        out.append(buffer->data(), n);
        if (!rec) (*read_more)();
      });
    };
    net::async_write(stream, net::buffer(request), [read_more](auto, std::size_t) { (*read_more)(); });
  });
  ioc.run_for(timeout);
  if (!shaken) return {};
  return Parse(out);
}

std::string SimpleRequest(const std::string& method, const std::string& target,
                          const std::string& body, const std::string& extra_headers) {
  std::string r = method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
  r += extra_headers;
  if (!body.empty() || method == "POST") r += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  r += "\r\n";
  r += body;
  return r;
}

}  // namespace veltra::testing
