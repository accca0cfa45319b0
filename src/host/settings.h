// TServiceSettings: the one process-wide settings record, filled once at start-up from
// config/web_service_config.ini and read-only afterwards (the e-prescription state lives in
// the e-prescription client, under its own lock).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace veltra {

struct TServiceSettings {
  std::string ExeFolder;  // folder of the executable, ending with the path separator
  std::string IniPath;    // ExeFolder + config/web_service_config.ini
  std::string MyFiles_Path;
  bool Auto_Start = false;
  std::string ProviderName;
  std::string DataBase_Server;
  std::string Database_Name;
  std::string DataBase_Username;
  std::string DataBase_Password;  // revealed
  std::int16_t Coding_Mode = 0;
  std::array<std::string, 12> Port{};  // Port_01 .. Port_12 as read (index 0 is Port_01)
  std::string EmptyProcParams = "'0','0','0','0','0','0','0'";

  // Optional [config] keys of this implementation.
  int Ansi_Code_Page = 1256;                       // document content code page
  std::uint64_t Max_Body_Bytes = 256ull << 20;     // larger bodies get 413
  std::uint32_t Max_Header_Bytes = 64u << 10;      // larger headers get 431
  std::uint32_t Read_Timeout_Seconds = 30;         // silent clients get 408 / are dropped
  std::uint32_t Max_Connections = 256;             // per listener; over it: 503
  std::string Tamin_CA_File;                       // extra CA bundle for the e-prescription service
  std::uint32_t Pool_Size = 0;                     // pooled database sessions; 0: one per call
  std::uint32_t Pool_Idle_Seconds = 60;            // an idle pooled session is closed after this
  std::uint32_t Proc_Cache_Seconds = 0;            // procedure parameter lists kept; 0: not kept
};

}  // namespace veltra
