#include "eprescription/http_client.h"

#include <curl/curl.h>
#include <iconv.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <memory>
#include <mutex>

#include "wire/text.h"

namespace veltra {
namespace {

// A service that streams without end must not exhaust the process.
constexpr std::size_t kMaxReplyBytes = 64u << 20;

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

void GlobalInitOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct EasyDeleter {
  void operator()(CURL* h) const { curl_easy_cleanup(h); }
};
struct SlistDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

struct Exchange {
  std::string body;
  bool too_large = false;
  std::string content_encoding;  // of the last response (an interim 100 answer resets it)
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  size_t n = size * count;
  if (ex->body.size() + n > kMaxReplyBytes) {
    ex->too_large = true;
    return 0;
  }
  ex->body.append(data, n);
  return n;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* ex = static_cast<Exchange*>(user);
  size_t n = size * count;
  std::string_view line(data, n);
  if (line.substr(0, 5) == "HTTP/") {
    ex->content_encoding.clear();
  } else if (auto colon = line.find(':'); colon != std::string_view::npos) {
    if (Lower(Trim(line.substr(0, colon))) == "content-encoding") {
      if (!ex->content_encoding.empty()) ex->content_encoding += ",";
      ex->content_encoding += Trim(line.substr(colon + 1));
    }
  }
  return n;
}

// Adds the extra CA file to the store that libcurl already filled from the system.
CURLcode AddExtraCa(CURL*, void* ssl_ctx, void* user) {
  const auto* file = static_cast<const std::string*>(user);
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(ssl_ctx));
  if (X509_STORE_load_locations(store, file->c_str(), nullptr) != 1) {
    return CURLE_SSL_CACERT_BADFILE;
  }
  return CURLE_OK;
}

std::string Inflate(std::string_view data, int window_bits) {
  z_stream z{};
  if (inflateInit2(&z, window_bits) != Z_OK) throw HttpError("Cannot start decompression");
  std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  std::string out;
  char chunk[16384];
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    z.next_out = reinterpret_cast<Bytef*>(chunk);
    z.avail_out = sizeof chunk;
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) throw HttpError("Corrupt compressed answer");
    out.append(chunk, sizeof chunk - z.avail_out);
    if (out.size() > kMaxReplyBytes) throw HttpError("Answer too large after decompression");
    if (rc == Z_OK && z.avail_in == 0 && z.avail_out != 0) {
      throw HttpError("Truncated compressed answer");
    }
  }
  return out;
}

}  // namespace

std::string UndoContentCoding(std::string_view content_encoding, std::string body) {
  std::vector<std::string> codings;
  std::string_view rest = content_encoding;
  while (!rest.empty()) {
    auto comma = rest.find(',');
    std::string one = Lower(Trim(rest.substr(0, comma)));
    if (!one.empty()) codings.push_back(one);
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
  }
  // The last coding named was applied last, so it comes off first.
  for (auto it = codings.rbegin(); it != codings.rend(); ++it) {
    if (*it == "identity" || body.empty()) continue;
    if (*it == "gzip" || *it == "x-gzip") {
      body = Inflate(body, 16 + MAX_WBITS);
    } else if (*it == "deflate") {
      // Servers disagree on whether "deflate" carries the zlib wrapper.
      try {
        body = Inflate(body, MAX_WBITS);
      } catch (const HttpError&) {
        body = Inflate(body, -MAX_WBITS);
      }
    } else {
      throw HttpError("Unsupported content encoding: " + *it);
    }
  }
  return body;
}

std::string ReplyCharset(std::string_view content_type) {
  std::string_view rest = content_type;
  while (true) {
    auto semi = rest.find(';');
    if (semi == std::string_view::npos) break;
    rest = rest.substr(semi + 1);
    std::string_view param = rest.substr(0, rest.find(';'));
    auto eq = param.find('=');
    if (eq == std::string_view::npos) continue;
    if (Lower(Trim(param.substr(0, eq))) != "charset") continue;
    std::string value = Trim(param.substr(eq + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (!value.empty()) return Lower(value);
  }
  return "utf-8";
}

std::string DecodeReplyText(std::string_view charset, std::string_view bytes) {
  std::string cs = Lower(charset);
  std::string out;
  if (cs == "utf-8" || cs == "utf8") {
    out.assign(bytes);
    if (!IsValidUtf8(out)) out = Utf16ToUtf8(Utf8ToUtf16(out));
  } else {
    iconv_t cd = iconv_open("UTF-8", cs.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      throw HttpError("Unsupported character set in the answer: " + cs);
    }
    std::unique_ptr<void, int (*)(iconv_t)> guard(cd, iconv_close);
    std::string in(bytes);
    char* in_ptr = in.data();
    size_t in_left = in.size();
    char chunk[4096];
    while (in_left > 0) {
      char* out_ptr = chunk;
      size_t out_left = sizeof chunk;
      size_t rc = iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left);
      out.append(chunk, sizeof chunk - out_left);
      if (rc == static_cast<size_t>(-1)) {
        if (errno == E2BIG) continue;
        out += "\xEF\xBF\xBD";  // U+FFFD for a byte the charset does not define
        if (errno == EINVAL) break;
        ++in_ptr;
        --in_left;
      }
    }
  }
  if (out.compare(0, 3, "\xEF\xBB\xBF") == 0) out.erase(0, 3);
  return out;
}

CurlHttpClient::CurlHttpClient(std::string extra_ca_file, std::chrono::seconds timeout)
    : extra_ca_file_(std::move(extra_ca_file)), timeout_(timeout) {
  GlobalInitOnce();
}

HttpReply CurlHttpClient::Post(const std::string& url, const std::vector<std::string>& headers,
                               const std::string& body) {
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) throw HttpError("Cannot create an HTTP client");
  CURL* h = easy.get();

  std::unique_ptr<curl_slist, SlistDeleter> list;
  bool has_expect = false;
  for (const auto& line : headers) {
    // A value that came from outside (a token) must not smuggle in extra header lines.
    if (line.find_first_of("\r\n") != std::string::npos) {
      throw HttpError("Invalid character in HTTP header");
    }
    if (Lower(line.substr(0, line.find(':'))) == "expect") has_expect = true;
    list.reset(curl_slist_append(list.release(), line.c_str()));
  }
  // libcurl would otherwise wait for a 100 answer before sending larger bodies.
  if (!has_expect) list.reset(curl_slist_append(list.release(), "Expect:"));
  if (!list) throw HttpError("Cannot build the request headers");

  Exchange ex;
  char error_buffer[CURL_ERROR_SIZE] = {0};
  long seconds = static_cast<long>(timeout_.count());
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, error_buffer);
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_POST, 1L);
  curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.data());
  curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
  curl_easy_setopt(h, CURLOPT_HTTPHEADER, list.get());
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Veltra Web Service");
  // Content codings are undone here, so a caller's literal Accept-Encoding goes out as is.
  curl_easy_setopt(h, CURLOPT_HTTP_CONTENT_DECODING, 0L);
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, seconds);
  // Sending and waiting for the answer: give up after `timeout_` without progress.
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, seconds);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!extra_ca_file_.empty()) {
    curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, AddExtraCa);
    curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, &extra_ca_file_);
  }
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &ex);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &ex);

  CURLcode rc = curl_easy_perform(h);
  if (ex.too_large) {
    throw HttpError("Answer larger than " + std::to_string(kMaxReplyBytes) + " bytes");
  }
  if (rc != CURLE_OK) {
    std::string message = curl_easy_strerror(rc);
    std::string detail = Trim(error_buffer);
    if (!detail.empty() && detail != message) message += ": " + detail;
    throw HttpError(message);
  }

  HttpReply reply;
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  reply.status = static_cast<int>(status);
  char* content_type = nullptr;
  curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &content_type);
  if (content_type) reply.content_type = content_type;
  std::string raw = UndoContentCoding(ex.content_encoding, std::move(ex.body));
  reply.body = DecodeReplyText(ReplyCharset(reply.content_type), raw);
  return reply;
}

}  // namespace veltra
