// The start-up sequence: the configuration file into TServiceSettings, the e-prescription
// start-up hook, the listener bindings, the status bar, the saved window geometry. Also the
// password shift of the configuration file and the geometry file.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "host/clock.h"
#include "host/console.h"
#include "host/ini_file.h"
#include "host/settings.h"

namespace veltra {

inline constexpr std::string_view kConfigSection = "config";

// Hides the password from casual reading (no protection): code unit i (from 1) moves by +2
// when i is odd and +1 when even (hide), or back (reveal), modulo 65536; the text ends at the
// first NUL. "abc" hides as "cce".
enum class ShiftDirection { kHide, kReveal };
std::string PasswordShift(std::string_view text, ShiftDirection direction);

// The e-prescription client's start-up step (its settings from the database). It never
// throws; a failure leaves the client inactive.
class StartupHook {
 public:
  virtual ~StartupHook() = default;
  virtual void OnStartup() = 0;
};

struct WindowGeometry {
  int top = 231, left = 686, height = 0, width = 0;
};
std::string GeometryPath(const std::string& exe_folder);
// Four integer lines (top, left, height, width); nullopt when the file is missing or is not
// made of four integers.
std::optional<WindowGeometry> ReadGeometry(const std::string& exe_folder);
// Creates Temp and Temp/mf when missing and replaces the file.
void WriteGeometry(const std::string& exe_folder, const WindowGeometry& geometry);

// "Veltra Web Service  <provider> : <server>   DB : <name>   Port : <p1> .. <p7>   Code : <mode>"
std::string StatusBarText(const TServiceSettings& settings);

// A port text as an integer: conversion error when it is not one, "Range check error" above
// 65535. 0 or less means "not used".
int PortNumber(std::string_view text);

// Reads section [config] into `settings` in the file's order, converting as it goes. Throws
// ConversionError with the operator's message at the first value that does not convert.
void ReadServiceSettings(const IniFile& ini, TServiceSettings& settings);

enum class StartupOutcome {
  kEndProcess,       // no configuration file: the message was shown, the process must end
  kConversionError,  // a value did not convert: the message was shown, the rest was skipped
  kComplete,
};

struct StartupResult {
  StartupOutcome outcome = StartupOutcome::kComplete;
  std::array<int, 7> bound_ports{};  // listener n's binding at [n-1]; 0 when it has none
  std::string date_text;             // L_Date
  std::string status_text;           // SB_A
  std::optional<WindowGeometry> geometry;
  bool auto_start = false;           // CB_Auto_Start; the caller performs Start when set
};

// Steps 1 to 11 of start-up, except performing Start (the caller does it when auto_start is
// set, as the window and the daemon differ there). `hook` may be null.
StartupResult RunStartup(const std::string& exe_folder, TServiceSettings& settings,
                         Console& console, const Clock& clock, StartupHook* hook);

}  // namespace veltra
