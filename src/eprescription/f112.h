// What listener 1 needs of the e-prescription client.
#pragma once

#include <string>

namespace veltra {

class Prescriber {
 public:
  virtual ~Prescriber() = default;
  // Request 112: submits the prescription JSON; returns the answer text (before coding).
  // Never throws.
  virtual std::string F_112(const std::string& request_id, const std::string& prescription) = 0;
  // TaminLastResult := "0" (before each permission check of listener 1).
  virtual void ClearLastResult() = 0;
};

}  // namespace veltra
