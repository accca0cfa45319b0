#include "gui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QSplitter>
#include <QTabWidget>
#include <QThread>
#include <QVBoxLayout>

#include <thread>

#include "host/platform.h"
#include "host/startup.h"
#include "host/stdout_console.h"

namespace veltra {
namespace {

constexpr const char* kCaption = "Veltra https  web service 1402/09/22";
constexpr const char* kVersion = "R:1403/01/17 16:00";

QString Q(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString ColourStyle(const char* colour, bool bold) {
  return QString("color: %1;%2").arg(colour, bold ? " font-weight: bold;" : "");
}

struct SwitchSpec {
  Switch which;
  const char* name;
  const char* caption;
};
const SwitchSpec kSwitches[] = {
    {Switch::kLogService, "CB_LS", "Log Service"},
    {Switch::kLogCommand, "CB_LC", "Log Command"},
    {Switch::kLogConnect, "CB_LCD", "Log Conect Disconnect"},
    {Switch::kShowRequest, "CB_Show_Request", "Show Request"},
    {Switch::kShowResponse, "CB_Show_Response", "Show Response"},
    {Switch::kAutoStart, "CB_Auto_Start", "Auto Start"},
};

QPlainTextEdit* NewMemo(const char* name, const char* first_line, QWidget* parent) {
  auto* memo = new QPlainTextEdit(parent);
  memo->setObjectName(name);
  memo->setReadOnly(true);
  memo->setPlainText(first_line);
  return memo;
}

}  // namespace

Tmf::Tmf(std::string exe_folder, QWidget* parent)
    : QMainWindow(parent), exe_folder_(std::move(exe_folder)) {
  setObjectName("mf");
  setWindowTitle(kCaption);
  box_presenter_ = [this](const QString& text) {
    QMessageBox::information(this, windowTitle(), text);
  };
  BuildWindow();
  BuildMenu();
  timer1_ = new QTimer(this);
  timer1_->setObjectName("Timer1");
  timer1_->setInterval(1000);
  connect(timer1_, &QTimer::timeout, this, &Tmf::OnTimer);
  timer1_->start();  // ServiceHost::Tick does nothing while its timer is disabled
}

Tmf::~Tmf() { Shutdown(); }

void Tmf::BuildWindow() {
  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  p_top_ = new QWidget(central);
  p_top_->setObjectName("P_Top");
  auto* grid = new QGridLayout(p_top_);
  bb_start_stop_ = new QPushButton("Start", p_top_);
  bb_start_stop_->setObjectName("BB_Start_Stop");
  bb_start_stop_->setStyleSheet(ColourStyle("red", true));
  bb_config_ = new QPushButton("Config", p_top_);
  bb_config_->setObjectName("BB_Config");
  l_time_ = new QLabel("00:00:00", p_top_);
  l_time_->setObjectName("L_Time");
  l_time_->setStyleSheet(ColourStyle("red", true));
  l_date_ = new QLabel(p_top_);
  l_date_->setObjectName("L_Date");
  l_date_->setStyleSheet(ColourStyle("green", true));
  label_version_ = new QLabel(kVersion, p_top_);
  label_version_->setObjectName("Label_Version");
  label_version_->setStyleSheet(ColourStyle("black", true));
  label_version_->setCursor(Qt::PointingHandCursor);
  label_version_->installEventFilter(this);
  label_restart_time_ = new QLabel("----", p_top_);
  label_restart_time_->setObjectName("Label_Restart_Time");
  label_restart_time_->setStyleSheet(ColourStyle("maroon", true));
  grid->addWidget(bb_start_stop_, 0, 0);
  grid->addWidget(bb_config_, 0, 1);
  grid->addWidget(l_time_, 0, 2);
  grid->addWidget(l_date_, 0, 3);
  grid->addWidget(label_version_, 0, 4);
  grid->addWidget(label_restart_time_, 0, 5);
  for (std::size_t i = 0; i < std::size(kSwitches); ++i) {
    auto* box = new QCheckBox(kSwitches[i].caption, p_top_);
    box->setObjectName(kSwitches[i].name);
    box->setVisible(false);
    check_boxes_[i] = box;
    grid->addWidget(box, 1, static_cast<int>(i));
    const Switch which = kSwitches[i].which;
    connect(box, &QCheckBox::toggled, this,
            [this, which](bool on) { switches_[static_cast<int>(which)] = on; });
  }
  // A click (not a programmatic change) decides which area shows; the last click wins.
  connect(check_boxes_[0], &QCheckBox::clicked, this, [this](bool on) { p_client_->setVisible(on); });
  connect(check_boxes_[1], &QCheckBox::clicked, this, [this](bool on) { p_bottom_->setVisible(on); });
  connect(check_boxes_[2], &QCheckBox::clicked, this, [this](bool on) { p_bottom_->setVisible(on); });
  connect(bb_start_stop_, &QPushButton::clicked, this, &Tmf::StartStop);
  connect(bb_config_, &QPushButton::clicked, this, [this] {
    if (actions_.config) actions_.config();
  });
  column->addWidget(p_top_);

  p_client_ = new QWidget(central);
  p_client_->setObjectName("P_Client");
  auto* client_layout = new QVBoxLayout(p_client_);
  auto* service_tabs = new QTabWidget(p_client_);
  auto* service_page = new QSplitter(Qt::Horizontal, service_tabs);
  memos_[static_cast<int>(Memo::kService)] = NewMemo("MS", "Service", service_page);
  memos_[static_cast<int>(Memo::kService2)] = NewMemo("MS2", "Service", service_page);
  service_tabs->addTab(service_page, "Service");
  client_layout->addWidget(service_tabs);
  p_client_->setVisible(false);
  column->addWidget(p_client_, 2);

  p_bottom_ = new QWidget(central);
  p_bottom_->setObjectName("P_Bottom");
  auto* bottom_layout = new QVBoxLayout(p_bottom_);
  auto* command_tabs = new QTabWidget(p_bottom_);
  auto* command_page = new QSplitter(Qt::Horizontal, command_tabs);
  memos_[static_cast<int>(Memo::kDisconnect)] =
      NewMemo("Mem_Disconnect", "Disconnect", command_page);
  memos_[static_cast<int>(Memo::kCommand)] = NewMemo("Mem_Command", "Command", command_page);
  memos_[static_cast<int>(Memo::kConnect)] = NewMemo("Mem_Connect", "Connect", command_page);
  command_tabs->addTab(command_page, "Command");
  bottom_layout->addWidget(command_tabs);
  p_bottom_->setVisible(false);
  column->addWidget(p_bottom_, 1);
  column->addStretch(0);

  setCentralWidget(central);
  auto* bar = new QStatusBar(this);
  bar->setObjectName("SB_A");
  status_panel_ = new QLabel(bar);
  bar->addWidget(status_panel_, 1);
  setStatusBar(bar);

  move(686, 231);
  resize(903, 631);
}

void Tmf::BuildMenu() {
  pm_server_ = new QMenu(this);
  pm_server_->setObjectName("PM_Server");
  auto add = [this](const char* name, const char* text, std::function<void()> fn) {
    QAction* a = pm_server_->addAction(text);
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [fn = std::move(fn)] { fn(); });
  };
  auto call = [](std::function<void()>& fn) {
    if (fn) fn();
  };
  add("Find_Target1", "Find Target", [this] { FindTarget(); });
  pm_server_->addSeparator();
  add("Test_Tamin_Token_A", "Test Tamin Token A", [this, call] { call(actions_.tamin_token_a); });
  add("estTaminTokenB1", "Test Tamin Token B", [this, call] { call(actions_.tamin_token_b); });
  add("test1", "test", [this, call] { call(actions_.tamin_sample); });
  pm_server_->addSeparator();
  add("Exit1", "Exit", [this] { ExitSavingGeometry(); });

  std::vector<QWidget*> owners = {p_top_, bb_start_stop_, bb_config_};
  owners.insert(owners.end(), check_boxes_.begin(), check_boxes_.end());
  for (QWidget* w : owners) {
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& p) { pm_server_->exec(w->mapToGlobal(p)); });
  }
}

bool Tmf::OnUiThread() const { return QThread::currentThread() == thread(); }

void Tmf::OnUi(std::function<void()> fn) {
  if (OnUiThread()) {
    fn();
  } else {
    QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection);
  }
}

bool Tmf::IsOn(Switch s) const { return switches_[static_cast<int>(s)]; }

QPlainTextEdit* Tmf::MemoOf(Memo m) const { return memos_[static_cast<int>(m)]; }

void Tmf::Append(Memo m, std::string_view line) {
  // Queued calls from one thread run in the order they were posted.
  OnUi([this, m, text = Q(line)] { MemoOf(m)->appendPlainText(text); });
}

void Tmf::MessageBox(std::string_view text) {
  const QString q = Q(text);
  if (OnUiThread()) {
    {
      std::lock_guard lock(boxes_mutex_);
      if (closing_) return;
    }
    box_presenter_(q);
    return;
  }
  auto box = std::make_shared<BoxWait>();
  {
    std::lock_guard lock(boxes_mutex_);
    if (closing_) return;
    pending_.insert(box);
  }
  QMetaObject::invokeMethod(
      this,
      [this, box, q] {
        bool closing;
        {
          std::lock_guard lock(boxes_mutex_);
          closing = closing_;
        }
        if (!closing) box_presenter_(q);
        Release(box);
      },
      Qt::QueuedConnection);
  std::unique_lock lock(box->mutex);
  box->cv.wait(lock, [&] { return box->done; });
}

void Tmf::Release(const std::shared_ptr<BoxWait>& box) {
  {
    std::lock_guard lock(box->mutex);
    box->done = true;
  }
  box->cv.notify_all();
  std::lock_guard lock(boxes_mutex_);
  pending_.erase(box);
}

std::size_t Tmf::PendingBoxes() const {
  std::lock_guard lock(boxes_mutex_);
  return pending_.size();
}

void Tmf::AppendConnectionLog(std::string_view line) {
  std::lock_guard lock(ConnectionLogLock());
  AppendLineToFile(ConnectionLogPath(exe_folder_), line);
}

void Tmf::ShowStartStop(bool running) {
  OnUi([this, running] {
    bb_start_stop_->setText(running ? "Stop" : "Start");
    bb_start_stop_->setStyleSheet(ColourStyle(running ? "green" : "red", true));
  });
}

void Tmf::ShowRestartTime(std::string_view text) {
  OnUi([this, q = Q(text)] { label_restart_time_->setText(q); });
}

void Tmf::ShowClock(std::string_view text) {
  OnUi([this, q = Q(text)] { l_time_->setText(q); });
}

void Tmf::ShowClockRunning(bool running) {
  OnUi([this, running] { l_time_->setStyleSheet(ColourStyle(running ? "green" : "red", true)); });
}

void Tmf::ShowDate(const QString& text) { l_date_->setText(text); }
void Tmf::ShowStatus(const QString& text) { status_panel_->setText(text); }
void Tmf::SetAutoStart(bool on) { check_boxes_[static_cast<int>(Switch::kAutoStart)]->setChecked(on); }

void Tmf::RestoreGeometry() {
  if (auto g = ReadGeometry(exe_folder_)) {
    move(g->left, g->top);
    if (g->width > 0 && g->height > 0) resize(g->width, g->height);
  }
}

void Tmf::RunKeepingEvents(const std::function<void()>& work) {
  QEventLoop loop;
  std::exception_ptr error;
  std::thread helper([&] {
    try {
      work();
    } catch (...) {
      error = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  loop.exec();
  helper.join();
  if (error) std::rethrow_exception(error);
}

void Tmf::StartStop() {
  if (!host_ || busy_) return;
  busy_ = true;
  ActionResult result = ActionResult::kFailed;
  try {
    RunKeepingEvents([&] { result = host_->StartStop(); });
  } catch (const std::exception& e) {
    box_presenter_(Q(e.what()));
  }
  busy_ = false;
  if (result == ActionResult::kEndProcess && actions_.end_process) actions_.end_process();
}

void Tmf::OnTimer() {
  if (!host_ || busy_ || !host_->TimerEnabled()) return;
  busy_ = true;
  try {
    RunKeepingEvents([this] { host_->Tick(); });
  } catch (const std::exception& e) {
    box_presenter_(Q(e.what()));
  }
  busy_ = false;
}

void Tmf::ExitSavingGeometry() {
  try {
    WriteGeometry(exe_folder_, WindowGeometry{y(), x(), height(), width()});
  } catch (const std::exception& e) {
    box_presenter_(Q(e.what()));
  }
  Shutdown();
  QCoreApplication::exit(0);
}

void Tmf::FindTarget() {
  OpenFileManager(exe_folder_);
  Shutdown();
  QCoreApplication::exit(0);
}

void Tmf::Shutdown() {
  // Waiting threads go first, so that stopping the listeners never waits on a box.
  std::set<std::shared_ptr<BoxWait>> waiting;
  {
    std::lock_guard lock(boxes_mutex_);
    closing_ = true;
    waiting = pending_;
  }
  for (const auto& box : waiting) Release(box);
  if (host_) {
    ServiceHost* host = host_;
    host_ = nullptr;
    RunKeepingEvents([host] { host->StopAll(); });
  }
}

void Tmf::closeEvent(QCloseEvent* event) {
  event->ignore();
  showMinimized();
}

bool Tmf::eventFilter(QObject* watched, QEvent* event) {
  if (watched == label_version_ && event->type() == QEvent::MouseButtonDblClick) {
    for (QCheckBox* box : check_boxes_) box->setVisible(true);
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace veltra
