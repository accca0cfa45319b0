// Media type of a file by its extension, for files sent as they are.
#pragma once

#include <string>
#include <string_view>

namespace veltra {

// The extension (after the last "."; compared in lower case) of the file name at the end of
// `path`; "application/octet-stream" when it is unknown or missing.
std::string MediaTypeForPath(std::string_view path);

}  // namespace veltra
