// Local wall-clock time, injectable so tests can drive the daily restart and control codes.
#pragma once

#include "wire/text.h"

namespace veltra {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalDateTime Now() const = 0;
};

// The host's local time (implemented in host/platform.cpp).
class SystemClock : public Clock {
 public:
  LocalDateTime Now() const override;
};

}  // namespace veltra
