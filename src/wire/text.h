// Text helpers shared by every subsystem. Text is UTF-8 in std::string; UTF-16 appears only
// where the wire formats count UTF-16 code units (JSON escapes, the password shift, positions).
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltra {

// A value that does not convert (integer, boolean, range). The message is what the operator
// or the client sees.
class ConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD; neither direction throws.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
// Each byte taken as one character (Latin-1), and back (characters above 255 become '?').
std::u16string BytesToUtf16(std::string_view bytes);
bool IsValidUtf8(std::string_view text);

// Removes leading and trailing code units of 32 or less (blanks and control characters).
// In UTF-8 those are single bytes, so the byte form and the UTF-16 form agree.
std::string Trim(std::string_view text);
std::u16string Trim(std::u16string_view text);

// ASCII letter case only, as names of headers, keys and columns are compared.
std::string AsciiLower(std::string_view text);
bool EqualsNoCase(std::string_view a, std::string_view b);

// The integer conversion used for ports, request numbers and codes: optional leading blanks,
// an optional sign, decimal digits, or hexadecimal digits after "$", "x", "X", "0x" or "0X".
// Decimal values must lie in the signed 32-bit range; hexadecimal ones may use all 32 bits
// and wrap ("$FFFFFFFF" is -1), as the platform conversion did.
std::optional<std::int32_t> TryStrToInt(std::string_view text);
// As TryStrToInt; throws ConversionError "'<text>' is not a valid integer value".
std::int32_t StrToInt(std::string_view text);
// TryStrToInt, else 0.
std::int32_t StrToIntDef(std::string_view text, std::int32_t fallback = 0);

// Boolean conversion: a number (non-zero is true) or "True"/"False" in any letter case.
std::optional<bool> TryStrToBool(std::string_view text);
// Throws ConversionError "'<text>' is not a valid boolean value".
bool StrToBool(std::string_view text);

// 16-bit signed range check ("Range check error").
std::int16_t CheckedInt16(std::int32_t value);

// Values each enclosed in single quotes, joined by commas with no blanks: 'a','b','c'.
// A single quote inside a value is doubled so the list stays well formed.
std::string QuotedValueList(const std::vector<std::string>& values);
std::string Quoted(std::string_view value);

// Every character outside ASCII becomes '?' (one per code point).
std::string AsciiOrQuestionMark(std::string_view utf8);

// ---- Regional formats, fixed for the whole process ----
// short date yyyy/MM/dd, long time HH:mm:ss (24 hours), decimal separator '.', True/False.
struct LocalDateTime {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, millisecond = 0;
};
inline constexpr char kDecimalSeparator = '.';
inline constexpr std::string_view kTrueText = "True";
inline constexpr std::string_view kFalseText = "False";

std::string FormatShortDate(const LocalDateTime& t);
std::string FormatLongTime(const LocalDateTime& t);
// Short date, then a blank and the long time unless the time is exactly midnight.
std::string FormatDateTime(const LocalDateTime& t);
inline std::string_view BoolText(bool b) { return b ? kTrueText : kFalseText; }

}  // namespace veltra
