// Lets listener 5 stop and start listener 1 alone, from its own request thread.
#pragma once

namespace veltra {

class PortControl {
 public:
  virtual ~PortControl() = default;
  virtual void StopListener1() = 0;   // deactivates listener 1; BB_Start_Stop shows "Start"
  virtual void StartListener1() = 0;  // activates it (no change when running); "Stop"
};

}  // namespace veltra
