// A Database that records every call and answers from a script, for handler tests that
// need no server.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "db/database.h"

namespace veltra::testing {

struct RecordedCall {
  std::string procedure;
  bool is_query = false;
  db::RunMode mode = db::RunMode::kExecute;
  std::vector<db::Binding> inputs;
  std::vector<int> outputs;

  // Value bound at a position or name ("" when not bound).
  std::string At(int position) const {
    for (const auto& b : inputs) if (b.position == position) return b.value;
    return {};
  }
  std::string Named(const std::string& name) const {
    for (const auto& b : inputs) if (b.position == 0 && b.name == name) return b.value;
    return {};
  }
};

// What one scripted call answers: rows, outputs, or an error message to throw.
struct ScriptedAnswer {
  std::vector<Column> columns;
  std::vector<std::vector<Cell>> rows;
  bool no_result_set = false;
  std::vector<std::optional<std::string>> outputs;
  std::string error;  // non-empty: Run throws std::runtime_error(error)
};

class FakeDatabase : public db::Database {
 public:
  // Answers are used in order; when they run out, calls get an empty result set.
  void Push(ScriptedAnswer a) { std::lock_guard l(mutex_); answers_.push_back(std::move(a)); }

  db::CallResult Run(const db::Call& call) override {
    ScriptedAnswer a;
    {
      std::lock_guard l(mutex_);
      calls_.push_back({call.procedure, call.is_query, call.mode, call.inputs, call.outputs});
      if (!answers_.empty()) {
        a = std::move(answers_.front());
        answers_.pop_front();
      }
    }
    if (call.after_connect) call.after_connect();
    if (!a.error.empty()) throw std::runtime_error(a.error);
    db::CallResult r;
    if (!a.no_result_set) {
      auto rs = std::make_unique<MemoryRowSet>(a.columns);
      for (auto& row : a.rows) rs->AddRow(row);
      rs->First();
      r.rows = std::move(rs);
    }
    r.outputs = a.outputs;
    r.outputs.resize(call.outputs.size());
    return r;
  }

  std::vector<RecordedCall> Calls() const { std::lock_guard l(mutex_); return calls_; }

 private:
  mutable std::mutex mutex_;  // guards answers_ and calls_
  std::deque<ScriptedAnswer> answers_;
  std::vector<RecordedCall> calls_;
};

}  // namespace veltra::testing
