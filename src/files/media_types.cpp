#include "files/media_types.h"

#include <array>
#include <utility>

namespace veltra {

namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 31> kMediaTypes{{
    {"pdf", "application/pdf"},
    {"jpg", "image/jpeg"},
    {"jpeg", "image/jpeg"},
    {"png", "image/png"},
    {"gif", "image/gif"},
    {"bmp", "image/bmp"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"webp", "image/webp"},
    {"svg", "image/svg+xml"},
    {"txt", "text/plain"},
    {"htm", "text/html"},
    {"html", "text/html"},
    {"css", "text/css"},
    {"js", "text/javascript"},
    {"json", "application/json"},
    {"xml", "application/xml"},
    {"csv", "text/csv"},
    {"zip", "application/zip"},
    {"rar", "application/vnd.rar"},
    {"7z", "application/x-7z-compressed"},
    {"mp3", "audio/mpeg"},
    {"mp4", "video/mp4"},
    {"wav", "audio/wav"},
    {"doc", "application/msword"},
    {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
    {"xls", "application/vnd.ms-excel"},
    {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
    {"dcm", "application/dicom"},
}};

}  // namespace

std::string MediaTypeForPath(std::string_view path) {
  auto name_at = path.find_last_of("\\/:");
  std::string_view name = name_at == std::string_view::npos ? path : path.substr(name_at + 1);
  auto dot = name.rfind('.');
  if (dot != std::string_view::npos) {
    std::string ext(name.substr(dot + 1));
    for (char& c : ext) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    for (const auto& [known, type] : kMediaTypes) {
      if (ext == known) return std::string(type);
    }
  }
  return "application/octet-stream";
}

}  // namespace veltra
