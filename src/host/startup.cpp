#include "host/startup.h"

#include <charconv>
#include <filesystem>
#include <fstream>
#include <limits>

#include "host/platform.h"
#include "wire/text.h"

namespace veltra {
namespace {

// Our own optional keys: absent or empty is the default; anything else must convert.
template <typename T>
T OptionalNumber(const IniFile& ini, std::string_view key, T fallback, T min_value,
                 T max_value) {
  std::string raw = ini.ReadKey(kConfigSection, key);
  std::string text = Trim(raw);
  if (text.empty()) return fallback;
  long long value = 0;
  const char* begin = text.data();
  if (*begin == '+') ++begin;
  auto [end, ec] = std::from_chars(begin, text.data() + text.size(), value);
  if (ec == std::errc::result_out_of_range) throw ConversionError("Range check error");
  if (ec != std::errc() || end != text.data() + text.size()) {
    throw ConversionError("'" + raw + "' is not a valid integer value");
  }
  if (value < static_cast<long long>(min_value) ||
      static_cast<unsigned long long>(value) > static_cast<unsigned long long>(max_value)) {
    throw ConversionError("Range check error");
  }
  return static_cast<T>(value);
}

}  // namespace

std::string PasswordShift(std::string_view text, ShiftDirection direction) {
  std::u16string units = Utf8ToUtf16(text);
  auto nul = units.find(u'\0');
  if (nul != std::u16string::npos) units.resize(nul);
  for (std::size_t i = 0; i < units.size(); ++i) {
    const unsigned shift = (i % 2 == 0) ? 2 : 1;  // position i+1: odd positions move by 2
    const unsigned c = units[i];
    units[i] = static_cast<char16_t>(direction == ShiftDirection::kHide ? c + shift
                                                                        : c - shift);
  }
  return Utf16ToUtf8(units);
}

std::string GeometryPath(const std::string& exe_folder) {
  return exe_folder + HostRelativePath("Temp\\mf\\mf_Location_Size.txt");
}

std::optional<WindowGeometry> ReadGeometry(const std::string& exe_folder) {
  std::ifstream in(GeometryPath(exe_folder), std::ios::binary);
  if (!in) return std::nullopt;
  int values[4];
  std::string line;
  for (int& v : values) {
    if (!std::getline(in, line)) return std::nullopt;
    auto n = TryStrToInt(Trim(line));
    if (!n) return std::nullopt;
    v = *n;
  }
  return WindowGeometry{values[0], values[1], values[2], values[3]};
}

void WriteGeometry(const std::string& exe_folder, const WindowGeometry& g) {
  std::error_code ignored;
  std::filesystem::create_directory(exe_folder + "Temp", ignored);
  std::filesystem::create_directory(exe_folder + HostRelativePath("Temp\\mf"), ignored);
  std::ofstream out(GeometryPath(exe_folder), std::ios::binary | std::ios::trunc);
  out << g.top << "\r\n" << g.left << "\r\n" << g.height << "\r\n" << g.width << "\r\n";
  if (!out) throw std::runtime_error("Unable to write to " + GeometryPath(exe_folder));
}

std::string StatusBarText(const TServiceSettings& s) {
  std::string text = "Veltra Web Service  " + s.ProviderName + " : " + s.DataBase_Server +
                     "   DB : " + s.Database_Name + "   Port : ";
  for (int i = 0; i < 7; ++i) {
    if (i > 0) text += ' ';
    text += s.Port[i];
  }
  text += "   Code : " + std::to_string(s.Coding_Mode);
  return text;
}

int PortNumber(std::string_view text) {
  const std::int32_t port = StrToInt(text);
  if (port > 65535) throw ConversionError("Range check error");
  return port;
}

void ReadServiceSettings(const IniFile& ini, TServiceSettings& s) {
  auto key = [&](std::string_view k) { return ini.ReadKey(kConfigSection, k); };
  s.MyFiles_Path = key("MyFiles_Path");
  s.Auto_Start = StrToBool(key("Auto_Start"));
  s.ProviderName = key("ProviderName");
  s.DataBase_Server = key("DataBase_Server");
  s.Database_Name = key("Database_Name");
  s.DataBase_Username = key("DataBase_Username");
  s.DataBase_Password = PasswordShift(key("DataBase_Password"), ShiftDirection::kReveal);
  s.Coding_Mode = CheckedInt16(StrToInt(key("Coding_Mode")));
  for (int i = 0; i < 12; ++i) {
    char name[] = "Port_00";
    name[5] = static_cast<char>('0' + (i + 1) / 10);
    name[6] = static_cast<char>('0' + (i + 1) % 10);
    s.Port[i] = key(name);
  }
  s.Ansi_Code_Page = OptionalNumber<int>(ini, "Ansi_Code_Page", s.Ansi_Code_Page, 0, 65535);
  s.Max_Body_Bytes = OptionalNumber<std::uint64_t>(ini, "Max_Body_Bytes", s.Max_Body_Bytes, 0,
                                                   std::numeric_limits<std::int64_t>::max());
  s.Max_Header_Bytes =
      OptionalNumber<std::uint32_t>(ini, "Max_Header_Bytes", s.Max_Header_Bytes, 1024, 1u << 30);
  s.Read_Timeout_Seconds = OptionalNumber<std::uint32_t>(ini, "Read_Timeout_Seconds",
                                                         s.Read_Timeout_Seconds, 1, 86400);
  s.Max_Connections =
      OptionalNumber<std::uint32_t>(ini, "Max_Connections", s.Max_Connections, 1, 100000);
  s.Tamin_CA_File = key("Tamin_CA_File");
  s.Pool_Size = OptionalNumber<std::uint32_t>(ini, "Pool_Size", s.Pool_Size, 0, 1000);
  s.Pool_Idle_Seconds =
      OptionalNumber<std::uint32_t>(ini, "Pool_Idle_Seconds", s.Pool_Idle_Seconds, 0, 86400);
  s.Proc_Cache_Seconds =
      OptionalNumber<std::uint32_t>(ini, "Proc_Cache_Seconds", s.Proc_Cache_Seconds, 0, 86400);
}

StartupResult RunStartup(const std::string& exe_folder, TServiceSettings& s, Console& console,
                         const Clock& clock, StartupHook* hook) {
  StartupResult result;
  s.ExeFolder = exe_folder;
  s.IniPath = exe_folder + HostRelativePath("config\\web_service_config.ini");
  if (!std::filesystem::is_regular_file(s.IniPath)) {
    console.MessageBox(" Not FileExists : " + s.IniPath);
    result.outcome = StartupOutcome::kEndProcess;
    return result;
  }
  try {
    ReadServiceSettings(IniFile(s.IniPath), s);
    if (!std::filesystem::is_directory(s.MyFiles_Path)) {
      console.MessageBox(" not DirectoryExists  MyFiles_Path   " + s.MyFiles_Path);
    }
    if (hook) {
      try {
        hook->OnStartup();
      } catch (...) {
        // The hook reports its own failures; start-up goes on regardless.
      }
    }
    s.EmptyProcParams = "'0','0','0','0','0','0','0'";
    for (int n = 0; n < 7; ++n) {
      const int port = PortNumber(s.Port[n]);
      result.bound_ports[n] = port > 0 ? port : 0;
    }
  } catch (const ConversionError& e) {
    result.bound_ports = {};
    console.MessageBox(e.what());
    result.outcome = StartupOutcome::kConversionError;
    return result;
  }
  result.date_text = FormatShortDate(clock.Now());
  result.status_text = StatusBarText(s);
  result.geometry = ReadGeometry(exe_folder);
  result.auto_start = s.Auto_Start;
  return result;
}

}  // namespace veltra
