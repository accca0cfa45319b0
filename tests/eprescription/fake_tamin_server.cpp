#include "tests/eprescription/fake_tamin_server.h"

#include <zlib.h>

#include <boost/asio.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

namespace veltra::testing {
namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

namespace {

void Run(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) {
    throw std::runtime_error("failed: " + command);
  }
}

TestPki MakePki() {
  std::random_device rd;
  auto dir = std::filesystem::temp_directory_path() /
             ("veltra_tamin_pki_" + std::to_string(rd()) + std::to_string(rd()));
  std::filesystem::create_directories(dir);
  auto p = [&](const char* name) { return (dir / name).string(); };
  {
    std::ofstream ext(p("server.ext"));
    ext << "subjectAltName=DNS:localhost,IP:127.0.0.1\n"
           "basicConstraints=CA:FALSE\n"
           "keyUsage=digitalSignature,keyEncipherment\n"
           "extendedKeyUsage=serverAuth\n";
  }
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
  Run("openssl req -x509" + ec + " -keyout " + p("ca.key") + " -out " + p("ca.crt") +
      " -days 3 -subj /CN=Veltra-Test-CA -addext basicConstraints=critical,CA:TRUE"
      " -addext keyUsage=critical,keyCertSign,cRLSign");
  Run("openssl req" + ec + " -keyout " + p("server.key") + " -out " + p("server.csr") +
      " -subj /CN=localhost");
  Run("openssl x509 -req -in " + p("server.csr") + " -CA " + p("ca.crt") + " -CAkey " +
      p("ca.key") + " -CAcreateserial -out " + p("server.crt") + " -days 3 -extfile " +
      p("server.ext"));
  return {dir / "ca.crt", dir / "server.crt", dir / "server.key"};
}

std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Compress(const std::string& data, int window_bits) {
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, window_bits, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

}  // namespace

const TestPki& TestPki::Get() {
  // The folder goes when the test process ends.
  struct Owned {
    TestPki pki = MakePki();
    ~Owned() {
      std::error_code ec;
      std::filesystem::remove_all(pki.ca_cert.parent_path(), ec);
    }
  };
  static const Owned owned;
  return owned.pki;
}

std::vector<std::string> FakeRequest::All(const std::string& name) const {
  std::vector<std::string> out;
  for (const auto& [n, v] : headers) if (Lower(n) == Lower(name)) out.push_back(v);
  return out;
}

std::string FakeRequest::Header(const std::string& name) const {
  auto all = All(name);
  return all.empty() ? std::string() : all.front();
}

std::string Gzip(const std::string& data) { return Compress(data, 16 + MAX_WBITS); }
std::string Deflate(const std::string& data) { return Compress(data, MAX_WBITS); }

struct FakeTaminServer::Impl {
  asio::io_context ioc;
  asio::ssl::context ssl{asio::ssl::context::tls_server};
  tcp::acceptor acceptor{ioc};
};

FakeTaminServer::FakeTaminServer() : impl_(std::make_unique<Impl>()) {
  const TestPki& pki = TestPki::Get();
  impl_->ssl.use_certificate_chain_file(pki.server_cert.string());
  impl_->ssl.use_private_key_file(pki.server_key.string(), asio::ssl::context::pem);
  tcp::endpoint ep(asio::ip::make_address("127.0.0.1"), 0);
  impl_->acceptor.open(ep.protocol());
  impl_->acceptor.set_option(tcp::acceptor::reuse_address(true));
  impl_->acceptor.bind(ep);
  impl_->acceptor.listen();
  port_ = impl_->acceptor.local_endpoint().port();
  handler_ = [](const FakeRequest&) { return FakeReply{404, "text/plain", "no handler", {}, false}; };
  acceptor_thread_ = std::thread([this] { AcceptLoop(); });
}

FakeTaminServer::~FakeTaminServer() {
  stopping_ = true;
  {
    boost::system::error_code ec;
    tcp::socket poke(impl_->ioc);
    poke.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port_), ec);
  }
  acceptor_thread_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard lock(mutex_);
    workers.swap(workers_);
  }
  for (auto& t : workers) t.join();
}

void FakeTaminServer::SetHandler(Handler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

std::string FakeTaminServer::Url(const std::string& path) const {
  return "https://localhost:" + std::to_string(port_) + path;
}

std::vector<FakeRequest> FakeTaminServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void FakeTaminServer::AcceptLoop() {
  while (true) {
    auto socket = std::make_unique<tcp::socket>(impl_->ioc);
    boost::system::error_code ec;
    impl_->acceptor.accept(*socket, ec);
    if (stopping_) return;
    if (ec) continue;
    std::lock_guard lock(mutex_);
    workers_.emplace_back([this, s = socket.release()] {
      std::unique_ptr<tcp::socket> owned(s);
      Serve(owned.get());
    });
  }
}

void FakeTaminServer::Serve(void* raw_socket) {
  auto& socket = *static_cast<tcp::socket*>(raw_socket);
  beast::ssl_stream<tcp::socket&> stream(socket, impl_->ssl);
  boost::system::error_code ec;
  stream.handshake(asio::ssl::stream_base::server, ec);
  if (ec) return;
  beast::flat_buffer buffer;
  http::request<http::string_body> req;
  http::read(stream, buffer, req, ec);
  if (ec) return;

  FakeRequest r;
  r.method = std::string(req.method_string());
  r.target = std::string(req.target());
  r.body = req.body();
  for (const auto& field : req) {
    r.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  }
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(r);
    handler = handler_;
  }
  int now = ++in_flight_;
  for (int seen = max_in_flight_; now > seen && !max_in_flight_.compare_exchange_weak(seen, now);) {
  }
  FakeReply reply = handler(r);
  --in_flight_;
  if (reply.drop) {
    socket.close(ec);
    return;
  }
  http::response<http::string_body> res{static_cast<http::status>(reply.status), 11};
  res.set(http::field::server, "fake-tamin");
  if (!reply.content_type.empty()) res.set(http::field::content_type, reply.content_type);
  if (!reply.content_encoding.empty()) {
    res.set(http::field::content_encoding, reply.content_encoding);
  }
  res.keep_alive(false);
  res.body() = reply.body;
  res.prepare_payload();
  http::write(stream, res, ec);
  stream.shutdown(ec);
}

unsigned short ClosedPort() {
  asio::io_context ioc;
  tcp::acceptor a(ioc, tcp::endpoint(asio::ip::make_address("127.0.0.1"), 0));
  return a.local_endpoint().port();  // closed again when `a` goes
}

}  // namespace veltra::testing
