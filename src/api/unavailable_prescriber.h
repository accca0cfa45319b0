// Stands in for the e-prescription client where none is wired: request 112 is refused with an
// error-shaped answer, never a pretended submission.
#pragma once

#include <string>

#include "eprescription/f112.h"

namespace veltra::api {

class UnavailablePrescriber : public Prescriber {
 public:
  std::string F_112(const std::string& /*request_id*/,
                    const std::string& /*prescription*/) override {
    return "{\"Data\":[{\"s_result\":\"0\",\"s_message\":\"The e-prescription client is not "
           "available\",\"s_param\":\"0\"}]}";
  }
  void ClearLastResult() override {}
};

}  // namespace veltra::api
