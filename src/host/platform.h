// Everything the host asks of the operating system. platform.cpp is the only file of the
// service that calls the operating system directly.
#pragma once

#include <string>
#include <string_view>

namespace veltra {

// Folder of the running executable, ending with the path separator.
std::string ExecutableFolder();
// Full path of the running executable.
std::string ExecutablePath();
// The computer's network name; empty when it cannot be read.
std::string HostName();
// A path under the executable's folder as the design writes it ("MySSL\CRT.crt"), in the
// host's own separator.
std::string HostRelativePath(std::string_view windows_relative);
// The connection log: "c:\1.txt" on Windows, 1.txt in the executable's folder elsewhere.
std::string ConnectionLogPath(const std::string& exe_folder);
// Opens the system file manager on `folder` (does not wait for it).
void OpenFileManager(const std::string& folder);
// Starts a new instance of this executable, without arguments (does not wait for it).
void StartNewInstance();

// SIGINT / SIGTERM (Ctrl+C, Ctrl+Break on Windows) set a flag instead of ending the process.
void InstallStopSignalHandlers();
bool StopSignalReceived();

}  // namespace veltra
