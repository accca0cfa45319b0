// Shared pieces of the file-service tests: temporary folders, form bodies, one-row answers
// and a database that answers by what it is asked.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "db/database.h"
#include "host/http.h"
#include "tests/support/fake_database.h"

namespace veltra::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    static std::atomic<int> counter{0};
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("veltra_files_" + std::to_string(random()) + "_" + std::to_string(++counter));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string Text() const { return path_.string(); }
  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::optional<std::string> ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every regular file below `root`, as paths relative to it.
inline std::vector<std::string> FilesBelow(const std::filesystem::path& root) {
  std::vector<std::string> out;
  if (!std::filesystem::exists(root)) return out;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    if (entry.is_regular_file()) out.push_back(entry.path().lexically_relative(root).string());
  }
  return out;
}

// Bytes that a careless reader would mangle: zero bytes, CR LF, lone CR and LF, high bytes.
inline std::string AwkwardBytes(std::size_t size = 300) {
  std::string bytes;
  const char pattern[] = {'\0', '\r', '\n', 'A', '\xFF', '\r', '\0', '\n', '\n', '\x80', '-'};
  for (std::size_t i = 0; i < size; ++i) bytes += pattern[i % sizeof pattern];
  return bytes;
}

struct FormPart {
  std::string name;
  std::optional<std::string> file_name;  // nullopt: a value field
  std::string content;
  std::string content_type;  // for file fields
};

inline constexpr const char* kBoundary = "----VeltraTestBoundary7MA4YWxkTrZu0gW";

inline std::string MultipartBody(const std::vector<FormPart>& parts) {
  std::string body;
  for (const auto& p : parts) {
    body += std::string("--") + kBoundary + "\r\n";
    body += "Content-Disposition: form-data; name=\"" + p.name + "\"";
    if (p.file_name) body += "; filename=\"" + *p.file_name + "\"";
    body += "\r\n";
    if (p.file_name) {
      body += "Content-Type: " +
              (p.content_type.empty() ? std::string("application/octet-stream") : p.content_type) +
              "\r\n";
    }
    body += "\r\n";
    body += p.content;
    body += "\r\n";
  }
  body += std::string("--") + kBoundary + "--\r\n";
  return body;
}

inline HttpRequest MultipartPost(const std::vector<FormPart>& parts) {
  HttpRequest r;
  r.method = "POST";
  r.target = r.path = "/";
  r.headers = {{"Content-Type", std::string("multipart/form-data; boundary=") + kBoundary}};
  r.body = MultipartBody(parts);
  return r;
}

inline HttpRequest FormPost(std::string body, std::string query = {}) {
  HttpRequest r;
  r.method = "POST";
  r.path = "/";
  r.query = std::move(query);
  r.target = r.query.empty() ? r.path : r.path + "?" + r.query;
  r.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
  r.body = std::move(body);
  return r;
}

inline HttpRequest Get(std::string path, std::string query = {}) {
  HttpRequest r;
  r.method = "GET";
  r.path = std::move(path);
  r.query = std::move(query);
  r.target = r.query.empty() ? r.path : r.path + "?" + r.query;
  return r;
}

// One row of text columns.
inline ScriptedAnswer OneRow(const std::vector<std::pair<std::string, Cell>>& fields) {
  ScriptedAnswer a;
  std::vector<Cell> row;
  for (const auto& [name, value] : fields) {
    a.columns.push_back({name, ColumnType::kText});
    row.push_back(value);
  }
  a.rows.push_back(row);
  return a;
}

inline ScriptedAnswer Failure(std::string message) {
  ScriptedAnswer a;
  a.error = std::move(message);
  return a;
}

// Reads a body source to its end in pieces of `piece` bytes.
inline std::string ReadAll(BodySource& source, std::size_t piece = 4096) {
  std::string out;
  std::vector<char> buffer(piece);
  for (;;) {
    std::size_t n = source.Read(buffer.data(), buffer.size());
    if (n == 0) break;
    out.append(buffer.data(), n);
  }
  return out;
}

inline std::string Body(const HttpResponse& response) {
  if (response.stream) return ReadAll(*response.stream);
  return response.body;
}

inline std::string HeaderOf(const HttpResponse& response, const std::string& name) {
  for (const auto& [key, value] : response.headers) {
    if (key == name) return value;
  }
  return {};
}

// Answers each call from a function of the call, for tests where many requests run at once
// and a scripted order would not say which request gets which answer.
class RespondingDatabase : public db::Database {
 public:
  explicit RespondingDatabase(std::function<ScriptedAnswer(const RecordedCall&)> respond)
      : respond_(std::move(respond)) {}

  db::CallResult Run(const db::Call& call) override {
    RecordedCall recorded{call.procedure, call.is_query, call.mode, call.inputs, call.outputs};
    {
      std::lock_guard lock(mutex_);
      calls_.push_back(recorded);
    }
    ScriptedAnswer a = respond_(recorded);
    if (!a.error.empty()) throw std::runtime_error(a.error);
    db::CallResult r;
    auto rs = std::make_unique<MemoryRowSet>(a.columns);
    for (auto& row : a.rows) rs->AddRow(row);
    rs->First();
    r.rows = std::move(rs);
    r.outputs.resize(call.outputs.size());
    return r;
  }

  std::vector<RecordedCall> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  std::function<ScriptedAnswer(const RecordedCall&)> respond_;
  mutable std::mutex mutex_;  // guards calls_
  std::vector<RecordedCall> calls_;
};

}  // namespace veltra::testing
