// The DataEnvelope: {"Data":[{column:"text",...},...]}, compact and pure ASCII, every value
// a string, NULL and empty values as one blank.
#pragma once

#include <string>
#include <string_view>

#include "wire/row_set.h"

namespace veltra {

// Walks the rows from the first; leaves the row set past its last row.
std::string DataSetToEnvelope(RowSet& rows);

// The escaped body of a JSON string in the envelope's form (no enclosing quotes): \" \\ \/
// \b \t \n \f \r, every other UTF-16 unit below 32 or from 128 up as \uXXXX (upper-case hex).
std::string EnvelopeEscape(std::string_view utf8);
// NULL and the empty text become " ".
std::string SpaceIfEmpty(const Cell& value);

// Writes one JSON object of string members in the envelope's form:
//   EnvelopeObject o; o.Add("s_result", "1"); o.Text() == R"({"s_result":"1"})"
class EnvelopeObject {
 public:
  EnvelopeObject& Add(std::string_view name, std::string_view value);
  std::string Text() const { return text_ + "}"; }

 private:
  std::string text_ = "{";
};

}  // namespace veltra
