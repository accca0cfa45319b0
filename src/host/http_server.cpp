#include "host/http_server.h"

#include <atomic>
#include <chrono>
#include <list>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <boost/asio/as_tuple.hpp>
#include <boost/asio/co_spawn.hpp>
#include <boost/asio/detached.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/use_awaitable.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>

namespace veltra {

namespace net = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

namespace {

constexpr auto kTuple = net::as_tuple(net::use_awaitable);
constexpr std::uint16_t kTlsPort = 443;
constexpr std::size_t kChunkBytes = 64 * 1024;
// After an answer to a request we did not read whole, the rest is read and dropped for a
// while so the client sees the answer instead of a reset connection.
constexpr auto kDrainTime = std::chrono::seconds(2);
constexpr std::size_t kDrainBytes = 16u << 20;

std::string ReasonText(int status) {
  return std::string(http::obsolete_reason(static_cast<http::status>(status)));
}

std::shared_ptr<ssl::context> LoadTls(const TlsFiles& files) {
  auto ctx = std::make_shared<ssl::context>(ssl::context::tls_server);
  ctx->set_options(ssl::context::default_workarounds | ssl::context::no_sslv2 |
                   ssl::context::no_sslv3 | ssl::context::no_tlsv1 | ssl::context::no_tlsv1_1 |
                   ssl::context::single_dh_use);
  ctx->set_verify_mode(ssl::verify_none);
  auto load = [](const std::string& what, const std::string& path, auto&& fn) {
    boost::system::error_code ec;
    fn(ec);
    if (ec) throw std::runtime_error("Could not load " + what + " " + path + ": " + ec.message());
  };
  load("certificate", files.certificate,
       [&](auto& ec) { ctx->use_certificate_chain_file(files.certificate, ec); });
  load("private key", files.private_key,
       [&](auto& ec) { ctx->use_private_key_file(files.private_key, ssl::context::pem, ec); });
  load("CA bundle", files.ca_bundle, [&](auto& ec) { ctx->load_verify_file(files.ca_bundle, ec); });
  return ctx;
}

}  // namespace

std::string DefaultAnswerBody(int status) {
  return "<HTML><BODY><B>" + std::to_string(status) + " " + ReasonText(status) +
         "</B></BODY></HTML>";
}

ListenerLimits ListenerLimits::From(const TServiceSettings& s) {
  return {s.Max_Body_Bytes, s.Max_Header_Bytes, s.Read_Timeout_Seconds, s.Max_Connections};
}

struct HttpListener::Impl {
  struct Connection {
    net::io_context ioc{1};
    std::thread thread;
    bool admitted = true;             // false: answered 503 without reaching the handler
    std::atomic<bool> finished{false};
  };

  Impl(int n, Console& c, ListenerLimits l) : number(n), console(c), limits(l) {}

  const int number;
  Console& console;
  const ListenerLimits limits;
  Handler handler;  // set before Start, read by connection threads while active

  std::mutex control_mutex;  // serialises Start and Stop
  std::atomic<bool> active{false};
  std::atomic<std::uint16_t> port{0};
  std::unique_ptr<net::io_context> accept_ioc;
  std::unique_ptr<tcp::acceptor> acceptor;
  std::thread accept_thread;
  std::shared_ptr<ssl::context> tls;

  std::mutex connections_mutex;  // guards connections and admitted_count
  std::list<std::unique_ptr<Connection>> connections;
  std::uint32_t admitted_count = 0;

  net::awaitable<void> AcceptLoop();
  void Admit(std::unique_ptr<Connection> conn, tcp::socket socket);
  void ReapFinished();  // with connections_mutex held
  net::awaitable<void> Serve(Connection& conn, tcp::socket socket);
  template <typename Stream>
  net::awaitable<bool> ServeOne(Stream& stream, beast::tcp_stream& tcp, Connection& conn,
                                const std::string& peer, std::uint16_t local_port);
  template <typename Stream>
  net::awaitable<void> Write(Stream& stream, beast::tcp_stream& tcp, HttpResponse& res,
                             bool head);
  void Dispatch(const HttpRequest& req, HttpResponse& res, bool admitted);
  void Stop();
};

net::awaitable<void> HttpListener::Impl::AcceptLoop() {
  for (;;) {
    auto conn = std::make_unique<Connection>();
    auto [ec, socket] = co_await acceptor->async_accept(conn->ioc, kTuple);
    if (ec == net::error::operation_aborted || !acceptor->is_open()) co_return;
    if (ec) {
      // Out of descriptors and the like: pause instead of spinning.
      net::steady_timer pause(co_await net::this_coro::executor, std::chrono::milliseconds(50));
      co_await pause.async_wait(kTuple);
      continue;
    }
    Admit(std::move(conn), std::move(socket));
  }
}

void HttpListener::Impl::ReapFinished() {
  for (auto it = connections.begin(); it != connections.end();) {
    if ((*it)->finished) {
      (*it)->thread.join();
      it = connections.erase(it);
    } else {
      ++it;
    }
  }
}

void HttpListener::Impl::Admit(std::unique_ptr<Connection> conn, tcp::socket socket) {
  std::lock_guard lock(connections_mutex);
  ReapFinished();
  // Beyond twice the limit even the 503 answer would cost a thread each: close at once.
  if (connections.size() >= 2ull * limits.max_connections) {
    boost::system::error_code ignored;
    socket.close(ignored);
    return;
  }
  conn->admitted = admitted_count < limits.max_connections;
  if (conn->admitted) ++admitted_count;
  Connection* c = conn.get();
  connections.push_back(std::move(conn));
  c->thread = std::thread([this, c, s = std::move(socket)]() mutable {
    net::co_spawn(c->ioc, Serve(*c, std::move(s)), net::detached);
    try {
      c->ioc.run();
    } catch (...) {
      // A failure inside one connection ends that connection only.
    }
    std::lock_guard l(connections_mutex);
    if (c->admitted) --admitted_count;
    c->finished = true;
  });
}

void HttpListener::Impl::Dispatch(const HttpRequest& req, HttpResponse& res, bool admitted) {
  if (!admitted) {
    res.status = 503;
    return;
  }
  const bool known = req.method == "GET" || req.method == "HEAD" || req.method == "POST";
  if (!known || !handler) return;
  try {
    handler(req, res);
  } catch (const std::exception& e) {
    res.status = 500;
    res.body = e.what();
    res.stream.reset();
  } catch (...) {
    res.status = 500;
    res.body = "Unknown error";
    res.stream.reset();
  }
}

template <typename Stream>
net::awaitable<void> HttpListener::Impl::Write(Stream& stream, beast::tcp_stream& tcp,
                                              HttpResponse& res, bool head) {
  if (!res.HasContent()) {
    // The default page is HTML whatever type the handler had chosen for its own answer.
    res.body = DefaultAnswerBody(res.status);
    res.stream.reset();
    res.content_type = "text/html";
    res.charset = "utf-8";
  }
  // Text answers default to UTF-8; a streamed file carries only its media type unless the
  // handler named a charset.
  std::string content_type = res.content_type.empty() ? std::string("text/html") : res.content_type;
  if (!res.charset.empty()) {
    content_type += "; charset=" + res.charset;
  } else if (!res.stream) {
    content_type += "; charset=utf-8";
  }
  auto fill_header = [&](auto& message) {
    message.version(11);
    message.result(static_cast<unsigned>(res.status));
    message.set(http::field::content_type, content_type);
    for (const auto& [name, value] : res.headers) message.insert(name, value);
    message.keep_alive(false);
  };
  const auto write_timeout = std::chrono::seconds(std::max<std::uint32_t>(limits.read_timeout_seconds, 30));
  if (!res.stream) {
    http::response<http::string_body> message;
    fill_header(message);
    message.content_length(res.body.size());
    if (!head) message.body() = std::move(res.body);
    http::response_serializer<http::string_body> sr{message};
    tcp.expires_after(write_timeout);
    if (head) {
      co_await http::async_write_header(stream, sr, kTuple);
    } else {
      co_await http::async_write(stream, sr, kTuple);
    }
    co_return;
  }
  http::response<http::buffer_body> message;
  fill_header(message);
  std::uint64_t left = res.stream->Size();
  message.content_length(left);
  message.body().data = nullptr;
  message.body().more = true;
  http::response_serializer<http::buffer_body> sr{message};
  tcp.expires_after(write_timeout);
  auto [ec, n] = co_await http::async_write_header(stream, sr, kTuple);
  if (ec || head) co_return;
  std::vector<char> chunk(kChunkBytes);
  while (left > 0) {
    std::size_t got = res.stream->Read(chunk.data(), static_cast<std::size_t>(
                                                        std::min<std::uint64_t>(left, chunk.size())));
    if (got == 0) throw std::runtime_error("file ended early");  // drops the connection
    left -= got;
    message.body().data = chunk.data();
    message.body().size = got;
    message.body().more = left > 0;
    tcp.expires_after(write_timeout);
    auto [wec, wn] = co_await http::async_write(stream, sr, kTuple);
    if (wec == http::error::need_buffer) continue;
    if (wec) co_return;
  }
  if (!sr.is_done()) {
    message.body().data = nullptr;
    message.body().size = 0;
    message.body().more = false;
    co_await http::async_write(stream, sr, kTuple);
  }
}

// Reads and answers one request. Returns true when the request was read whole (the
// connection may be closed at once), false when unread input may remain.
template <typename Stream>
net::awaitable<bool> HttpListener::Impl::ServeOne(Stream& stream, beast::tcp_stream& tcp,
                                                  Connection& conn, const std::string& peer,
                                                  std::uint16_t local_port) {
  beast::flat_buffer buffer;
  http::request_parser<http::string_body> parser;
  parser.header_limit(limits.max_header_bytes);
  parser.body_limit(limits.max_body_bytes);
  tcp.expires_after(std::chrono::seconds(limits.read_timeout_seconds));
  auto [ec, n] = co_await http::async_read(stream, buffer, parser, kTuple);
  HttpResponse res;
  if (ec) {
    if (ec == beast::error::timeout || ec == http::error::end_of_stream ||
        ec == net::error::eof || ec == net::error::connection_reset ||
        ec == net::error::operation_aborted || ec == net::ssl::error::stream_truncated) {
      co_return true;  // nothing to answer to
    }
    if (ec == http::error::header_limit) {
      res.status = 431;
    } else if (ec == http::error::body_limit) {
      res.status = 413;
    } else {
      res.status = 400;
    }
    co_await Write(stream, tcp, res, false);
    co_return false;
  }
  auto& message = parser.get();
  HttpRequest req;
  req.method = std::string(message.method_string());
  req.target = std::string(message.target());
  auto q = req.target.find('?');
  req.path = req.target.substr(0, q);
  if (q != std::string::npos) req.query = req.target.substr(q + 1);
  for (const auto& field : message) {
    req.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  }
  req.body = std::move(message.body());
  req.peer_address = peer;
  req.local_port = local_port;

  tcp.expires_never();  // the handler may take as long as the database does
  Dispatch(req, res, conn.admitted);
  co_await Write(stream, tcp, res, req.method == "HEAD");
  co_return true;
}

net::awaitable<void> HttpListener::Impl::Serve(Connection& conn, tcp::socket socket) {
  boost::system::error_code ec;
  auto remote = socket.remote_endpoint(ec);
  const std::string peer = ec ? std::string() : remote.address().to_string();
  auto local = socket.local_endpoint(ec);
  const std::uint16_t local_port = ec ? 0 : local.port();
  const bool log_connections = number == 1 && console.IsOn(Switch::kLogConnect);
  if (log_connections) {
    console.Append(Memo::kConnect, peer);
    try {
      console.AppendConnectionLog(peer);
    } catch (const std::exception& e) {
      LogServiceRaw(console, std::string("connection log: ") + e.what());
    }
  }
  beast::tcp_stream tcp(std::move(socket));
  try {
    if (local_port == kTlsPort) {
      beast::ssl_stream<beast::tcp_stream&> tls_stream(tcp, *tls);
      tcp.expires_after(std::chrono::seconds(limits.read_timeout_seconds));
      auto [hec] = co_await tls_stream.async_handshake(ssl::stream_base::server, kTuple);
      if (!hec) {
        co_await ServeOne(tls_stream, tcp, conn, peer, local_port);
        tcp.expires_after(std::chrono::seconds(2));
        co_await tls_stream.async_shutdown(kTuple);
      }
    } else {
      bool whole = co_await ServeOne(tcp, tcp, conn, peer, local_port);
      tcp.socket().shutdown(tcp::socket::shutdown_send, ec);
      if (!whole) {
        std::vector<char> sink(kChunkBytes);
        std::size_t drained = 0;
        tcp.expires_after(kDrainTime);
        while (drained < kDrainBytes) {
          auto [rec, got] = co_await tcp.async_read_some(net::buffer(sink), kTuple);
          if (rec) break;
          drained += got;
        }
      }
    }
  } catch (const std::exception&) {
    // A broken connection (or a file that failed mid-answer) ends only this connection.
  }
  tcp.socket().close(ec);
  if (log_connections) console.Append(Memo::kDisconnect, peer);
}

void HttpListener::Impl::Stop() {
  std::lock_guard control(control_mutex);
  if (!active) return;
  net::post(*accept_ioc, [this] {
    boost::system::error_code ignored;
    acceptor->close(ignored);
  });
  accept_thread.join();
  acceptor.reset();
  accept_ioc.reset();
  std::list<std::unique_ptr<Connection>> open;
  {
    std::lock_guard lock(connections_mutex);
    open.swap(connections);
  }
  for (auto& c : open) c->ioc.stop();
  for (auto& c : open) c->thread.join();
  open.clear();
  {
    std::lock_guard lock(connections_mutex);
    admitted_count = 0;
  }
  tls.reset();
  port = 0;
  active = false;
}

HttpListener::HttpListener(int number, Console& console, ListenerLimits limits)
    : impl_(std::make_unique<Impl>(number, console, limits)) {}

HttpListener::~HttpListener() { impl_->Stop(); }

void HttpListener::SetHandler(Handler handler) {
  std::lock_guard control(impl_->control_mutex);
  if (impl_->active) throw std::logic_error("SetHandler on an active listener");
  impl_->handler = std::move(handler);
}

void HttpListener::Start(std::uint16_t port, const TlsFiles& files) {
  Impl& l = *impl_;
  std::lock_guard control(l.control_mutex);
  if (l.active) return;
  l.tls = LoadTls(files);
  auto ioc = std::make_unique<net::io_context>(1);
  auto acceptor = std::make_unique<tcp::acceptor>(*ioc);
  boost::system::error_code ec;
  tcp::endpoint endpoint(tcp::v4(), port);
  acceptor->open(endpoint.protocol(), ec);
  if (!ec) acceptor->set_option(net::socket_base::reuse_address(true), ec);
  if (!ec) acceptor->bind(endpoint, ec);
  if (!ec) acceptor->listen(net::socket_base::max_listen_connections, ec);
  if (ec) {
    l.tls.reset();
    if (ec == net::error::address_in_use) {
      throw std::runtime_error("Could not bind socket. Address and port are already in use.");
    }
    throw std::runtime_error("Could not bind socket on port " + std::to_string(port) + ": " +
                             ec.message());
  }
  l.port = acceptor->local_endpoint().port();
  l.accept_ioc = std::move(ioc);
  l.acceptor = std::move(acceptor);
  net::co_spawn(*l.accept_ioc, l.AcceptLoop(), net::detached);
  l.accept_thread = std::thread([io = l.accept_ioc.get()] { io->run(); });
  l.active = true;
}

void HttpListener::Stop() { impl_->Stop(); }

bool HttpListener::Active() const { return impl_->active; }

std::uint16_t HttpListener::LocalPort() const { return impl_->port; }

}  // namespace veltra
