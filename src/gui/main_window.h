// Tmf: the operator's window. It is the process's Console (switches, memos, message boxes,
// the connection log) and the listener set's HostView (clock, restart label).
//
// Threads: request threads append memo lines and ask for message boxes. Appends from them are
// queued to the window's thread; a box asked for from another thread is queued too, and only
// the asking thread waits until it is dismissed. Actions that wait for request threads
// (Start/Stop, the timer's daily restart, stopping before the process ends) run on a helper
// thread while the window's thread keeps its event loop turning, so a request thread that
// waits on a box can still get its box and finish. Nothing is shown after Shutdown(): waiting
// threads are released and later boxes return at once.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "host/console.h"
#include "host/service_host.h"

namespace veltra {

class Tmf : public QMainWindow, public Console, public HostView {
  Q_OBJECT

 public:
  explicit Tmf(std::string exe_folder, QWidget* parent = nullptr);
  ~Tmf() override;

  // Console
  bool IsOn(Switch s) const override;
  void Append(Memo m, std::string_view line) override;
  void MessageBox(std::string_view text) override;
  void AppendConnectionLog(std::string_view line) override;
  void ShowStartStop(bool running) override;
  // HostView
  void ShowRestartTime(std::string_view text) override;
  void ShowClock(std::string_view text) override;
  void ShowClockRunning(bool running) override;

  // The listener set the buttons and the timer drive (set once, after start-up).
  void SetHost(ServiceHost* host) { host_ = host; }
  // What the window does for the buttons and menu items that need more than the host.
  struct Actions {
    std::function<void()> config;            // BB_Config
    std::function<void()> tamin_token_a;     // "Test Tamin Token A"
    std::function<void()> tamin_token_b;     // "Test Tamin Token B"
    std::function<void()> tamin_sample;      // "test"
    std::function<void()> end_process;       // a certificate file is missing
  };
  void SetActions(Actions actions) { actions_ = std::move(actions); }

  // Start-up's results.
  void ShowDate(const QString& text);
  void ShowStatus(const QString& text);
  void SetAutoStart(bool on);
  void RestoreGeometry();

  // The Start/Stop button (also Auto Start at start-up).
  void StartStop();
  // "Exit": saves the geometry, stops the listeners and ends the event loop.
  void ExitSavingGeometry();
  // "Find Target": opens the file manager on the executable's folder and ends.
  void FindTarget();
  // Stops every listener (keeping boxes alive meanwhile) and releases every waiting thread.
  void Shutdown();

  // Runs `work` on a helper thread while this thread keeps processing events.
  void RunKeepingEvents(const std::function<void()>& work);

  // How a box is shown; tests replace the modal dialog.
  void SetBoxPresenter(std::function<void(const QString&)> presenter) {
    box_presenter_ = std::move(presenter);
  }
  // Threads currently waiting for a box.
  std::size_t PendingBoxes() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct BoxWait {
    std::mutex mutex;  // guards done
    std::condition_variable cv;
    bool done = false;
  };
  void BuildWindow();
  void BuildMenu();
  void OnTimer();
  void Release(const std::shared_ptr<BoxWait>& box);
  QPlainTextEdit* MemoOf(Memo m) const;
  bool OnUiThread() const;
  void OnUi(std::function<void()> fn);

  const std::string exe_folder_;
  ServiceHost* host_ = nullptr;
  Actions actions_;
  std::function<void(const QString&)> box_presenter_;
  bool busy_ = false;  // a host action is running on the helper thread (UI thread only)

  std::array<std::atomic<bool>, 6> switches_{};  // read by request threads

  mutable std::mutex boxes_mutex_;  // guards pending_ and closing_
  std::set<std::shared_ptr<BoxWait>> pending_;
  bool closing_ = false;

  QWidget* p_top_ = nullptr;
  QWidget* p_client_ = nullptr;
  QWidget* p_bottom_ = nullptr;
  QPushButton* bb_start_stop_ = nullptr;
  QPushButton* bb_config_ = nullptr;
  QLabel* l_time_ = nullptr;
  QLabel* l_date_ = nullptr;
  QLabel* label_version_ = nullptr;
  QLabel* label_restart_time_ = nullptr;
  std::array<QCheckBox*, 6> check_boxes_{};
  std::array<QPlainTextEdit*, 5> memos_{};
  QLabel* status_panel_ = nullptr;
  QMenu* pm_server_ = nullptr;
  QTimer* timer1_ = nullptr;
};

}  // namespace veltra
