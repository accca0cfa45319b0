#include "files/gateway_listener.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "files/file_store.h"
#include "wire/multipart.h"
#include "wire/request_fields.h"
#include "wire/text.h"
#include "wire/typed_json.h"

namespace veltra {

namespace {

// One pass, so an "=" that a removal brings next to a CR LF stays.
std::string WithoutEqualsLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '=' && text.substr(i + 1, 2) == "\r\n") {
      i += 2;
      continue;
    }
    out += text[i];
  }
  return out;
}

std::string CellText(const Cell& cell) { return cell ? *cell : std::string(); }

const TParamStream* LastPartNamed(const ParamList& parts, std::string_view name) {
  const TParamStream* found = nullptr;
  for (const auto& part : parts) {
    if (part->ParamName == name) found = part.get();
  }
  return found;
}

void CreateFolderIfMissing(const std::string& folder) {
  // Another request may make the same folder meanwhile; the caller checks the outcome.
  if (DirectoryExists(folder)) return;
  std::error_code ec;
  std::filesystem::create_directory(PathFromUtf8(folder), ec);
}

}  // namespace

std::string BucketFolder(Console& console, std::string_view root, std::int32_t n) {
  root = root.substr(0, root.find('\0'));
  if (Utf8ToUtf16(root).size() <= 3) {
    console.MessageBox("): Set Config File a valid path for main root  ");
    return {};
  }
  // In 64 bits, so the upper bound of the highest buckets does not overflow.
  const std::int64_t a = static_cast<std::int64_t>(n) / 10000 * 10000;
  const std::int64_t b = static_cast<std::int64_t>(n) / 100 * 100;
  const std::string level1 = std::string(root) + kFolderSeparator + std::to_string(a) + "-" +
                             std::to_string(a + 9999);
  const std::string level2 =
      level1 + kFolderSeparator + std::to_string(b) + "-" + std::to_string(b + 99);
  const std::string level3 = level2 + kFolderSeparator + std::to_string(n);
  if (!DirectoryExists(level3)) {
    CreateFolderIfMissing(level1);
    CreateFolderIfMissing(level2);
    CreateFolderIfMissing(level3);
  }
  if (DirectoryExists(level3)) return level3;
  console.MessageBox(":( There is  no folder \n\r\n\r" + level3);
  return {};
}

std::string ErrorForm(std::string_view message) {
  // Through UTF-16 and back, so malformed bytes cannot break the UTF-8 of the answer.
  const std::string text = Utf16ToUtf8(Utf8ToUtf16(message));
  std::string out = "{\"Error\": \"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escape[7];
          std::snprintf(escape, sizeof escape, "\\u%04X", c);
          out += escape;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += "\"}";
  return out;
}

namespace {

// Request 1412 after "_exec_proc" named the new image record: store the File_Data bytes in
// the person's bucket folder and confirm with request 1413, whose envelope is the answer.
std::string StoreUpload(db::StoredProcGateway& gateway, Console& console,
                        const std::string& root, const ParamList& parts, const RowSet& row,
                        const std::string& token, const std::string& user_cp) {
  const TParamStream* file_data = LastPartNamed(parts, "File_Data");
  if (file_data == nullptr) throw std::runtime_error("Parameter File_Data doesn't exists");

  const std::string id_images = CellText(row.FieldByName("id_images"));
  const std::string cp = CellText(row.FieldByName("cp"));
  const std::string nfile = CellText(row.FieldByName("nfile"));

  if (!DirectoryExists(root)) console.MessageBox(" not DirectoryExists  MyFiles_Path   " + root);
  const std::string folder = BucketFolder(console, root, StrToInt(cp));
  if (!DirectoryExists(folder)) {
    console.MessageBox("not DirectoryExists\n\r" + folder);
    // Without its bucket the file has no place inside MyFiles_Path; it is not stored.
    throw std::runtime_error("There is no folder for cp " + cp + " under MyFiles_Path");
  }

  // The name comes from the database; whatever folder part it carries is dropped so the file
  // stays in the bucket.
  const std::string name = NameAfterLast(nfile, "\\/:");
  if (name.empty() || name == "." || name == "..") {
    throw std::runtime_error("Invalid file name \"" + nfile + "\"");
  }
  const std::string target = folder + kFolderSeparator + name;
  SaveToFile(target, file_data->Bytes());

  if (!FileExists(target)) return std::string(kFinalErrorAnswer);
  return gateway.ExecProc("_Exec_Proc", "1413", QuotedValueList({cp, id_images}), token,
                          user_cp);
}

}  // namespace

void GatewayListener::Handle(const HttpRequest& request, HttpResponse& response) {
  if (request.method != "POST") {
    response.body = kUnknownRequest;
    return;
  }
  try {
    response.content_type = "application/json";
    response.charset = "UTF-8";
    response.AddHeader("Access-Control-Allow-Origin", "*");

    ParamList parts;
    ReadRequestParams(request.ContentType(),
                      RequestPieces(request.ContentType(), request.body, request.query),
                      request.body, parts);

    std::string api;
    for (const auto& part : parts) {
      if (part->ParamName == "API") {
        api = part->ParamValue;
        break;
      }
    }
    std::string sp_params, token, user_cp;
    if (!api.empty()) {
      for (const auto& part : parts) {
        if (part->ParamName == "Sp_params") sp_params = part->ParamValue;
        else if (part->ParamName == "Login_User_Token") token = part->ParamValue;
        else if (part->ParamName == "Login_User_cp") user_cp = part->ParamValue;
      }
    }
    sp_params = WithoutEqualsLineBreaks(sp_params);

    LogServiceRaw(console_, api);
    LogServiceRaw(console_, sp_params);
    LogServiceRaw(console_, token);
    LogServiceRaw(console_, user_cp);

    if (api.empty()) {
      response.body = kMissingApiAnswer;
      return;
    }

    std::string answer;
    try {
      auto rows = gateway_.ExecRows(
          "_exec_proc",
          {db::Binding::Named("@ProcName", api), db::Binding::Named("@Token", token),
           db::Binding::Named("@LUCP", user_cp), db::Binding::Named("@Params", sp_params)});
      const bool names_a_file = rows && rows->RowCount() > 0 &&
                                rows->FindColumn("nfile") >= 0 && rows->FindColumn("cp") >= 0;
      answer = RowSetToJson(rows.get());
      if (names_a_file && api == "1412") {
        try {
          answer = StoreUpload(gateway_, console_, settings_.MyFiles_Path, parts, *rows, token,
                               user_cp);
        } catch (const std::exception& e) {
          answer = ErrorForm(e.what());
        }
      }
    } catch (const std::exception& e) {
      answer = ErrorForm(e.what());
    }
    response.body = std::move(answer);
  } catch (...) {
    // Listener 6 never answers 500: the client gets what was set so far.
  }
}

}  // namespace veltra
