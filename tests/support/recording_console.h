// Test doubles for the console and the clock: switches set by the test, every memo line and
// message box recorded in order.
#pragma once

#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "host/console.h"

namespace veltra::testing {

class RecordingConsole : public Console {
 public:
  void Set(Switch s, bool on = true) {
    std::lock_guard lock(mutex_);
    if (on) on_.insert(s); else on_.erase(s);
  }
  bool IsOn(Switch s) const override {
    std::lock_guard lock(mutex_);
    return on_.count(s) != 0;
  }
  void Append(Memo m, std::string_view line) override {
    std::lock_guard lock(mutex_);
    memos_[m].emplace_back(line);
  }
  void MessageBox(std::string_view text) override {
    std::lock_guard lock(mutex_);
    boxes_.emplace_back(text);
  }
  void AppendConnectionLog(std::string_view line) override {
    std::lock_guard lock(mutex_);
    connection_log_.emplace_back(line);
  }
  void ShowStartStop(bool running) override {
    std::lock_guard lock(mutex_);
    start_stop_.push_back(running);
  }

  std::vector<std::string> Lines(Memo m) const {
    std::lock_guard lock(mutex_);
    auto it = memos_.find(m);
    return it == memos_.end() ? std::vector<std::string>{} : it->second;
  }
  std::vector<std::string> Boxes() const { std::lock_guard lock(mutex_); return boxes_; }
  std::vector<std::string> ConnectionLog() const {
    std::lock_guard lock(mutex_);
    return connection_log_;
  }
  std::vector<bool> StartStop() const { std::lock_guard lock(mutex_); return start_stop_; }

 private:
  mutable std::mutex mutex_;  // guards everything below
  std::set<Switch> on_;
  std::map<Memo, std::vector<std::string>> memos_;
  std::vector<std::string> boxes_;
  std::vector<std::string> connection_log_;
  std::vector<bool> start_stop_;
};

class FakeClock : public Clock {
 public:
  explicit FakeClock(LocalDateTime t = {2026, 12, 11, 10, 15, 2, 0}) : now_(t) {}
  LocalDateTime Now() const override { std::lock_guard lock(mutex_); return now_; }
  void Set(LocalDateTime t) { std::lock_guard lock(mutex_); now_ = t; }

 private:
  mutable std::mutex mutex_;  // guards now_
  LocalDateTime now_;
};

}  // namespace veltra::testing
