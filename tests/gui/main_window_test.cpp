#include "gui/main_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "tests/support/recording_console.h"

namespace veltra {
namespace {

template <typename T>
T* Child(Tmf& w, const char* name) {
  T* c = w.findChild<T*>(name);
  EXPECT_NE(c, nullptr) << name;
  return c;
}

QStringList Lines(Tmf& w, const char* memo) {
  return Child<QPlainTextEdit>(w, memo)->toPlainText().split('\n');
}

// Turns the event loop until `done` holds (bounded, so a fault fails instead of hanging).
template <typename Pred>
bool ProcessUntil(Pred done) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > 20000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void DoubleClickVersion(Tmf& w) {
  QTest::mouseDClick(Child<QLabel>(w, "Label_Version"), Qt::LeftButton);
}

TEST(Tmf, OpensWithItsCaptionsTextsAndHiddenParts) {
  Tmf w("/tmp/");
  EXPECT_EQ(w.windowTitle(), "Veltra https  web service 1402/09/22");
  auto* start = Child<QPushButton>(w, "BB_Start_Stop");
  EXPECT_EQ(start->text(), "Start");
  EXPECT_TRUE(start->styleSheet().contains("red"));
  EXPECT_EQ(Child<QPushButton>(w, "BB_Config")->text(), "Config");
  EXPECT_EQ(Child<QLabel>(w, "L_Time")->text(), "00:00:00");
  EXPECT_TRUE(Child<QLabel>(w, "L_Time")->styleSheet().contains("red"));
  EXPECT_TRUE(Child<QLabel>(w, "L_Date")->styleSheet().contains("green"));
  EXPECT_EQ(Child<QLabel>(w, "Label_Version")->text(), "R:1403/01/17 16:00");
  EXPECT_EQ(Child<QLabel>(w, "Label_Restart_Time")->text(), "----");
  EXPECT_TRUE(Child<QLabel>(w, "Label_Restart_Time")->styleSheet().contains("maroon"));
  ASSERT_NE(w.findChild<QStatusBar*>("SB_A"), nullptr);

  struct Memo { const char* name; const char* first; };
  const Memo memos[] = {{"MS", "Service"}, {"MS2", "Service"}, {"Mem_Command", "Command"},
                        {"Mem_Connect", "Connect"}, {"Mem_Disconnect", "Disconnect"}};
  for (const auto& m : memos) EXPECT_EQ(Lines(w, m.name), QStringList{m.first}) << m.name;

  w.show();
  for (const char* name : {"CB_LS", "CB_LC", "CB_LCD", "CB_Show_Request", "CB_Show_Response",
                           "CB_Auto_Start"}) {
    EXPECT_FALSE(Child<QCheckBox>(w, name)->isVisible()) << name;
  }
  EXPECT_TRUE(Child<QWidget>(w, "P_Top")->isVisible());
  EXPECT_FALSE(Child<QWidget>(w, "P_Client")->isVisible());
  EXPECT_FALSE(Child<QWidget>(w, "P_Bottom")->isVisible());
}

TEST(Tmf, PopupMenuHoldsItsItemsInOrder) {
  Tmf w("/tmp/");
  auto* menu = Child<QMenu>(w, "PM_Server");
  QStringList items;
  for (QAction* a : menu->actions()) items << (a->isSeparator() ? "-" : a->text());
  EXPECT_EQ(items, (QStringList{"Find Target", "-", "Test Tamin Token A", "Test Tamin Token B",
                                "test", "-", "Exit"}));
  EXPECT_EQ(Child<QWidget>(w, "P_Top")->contextMenuPolicy(), Qt::CustomContextMenu);
}

TEST(Tmf, DoubleClickOnVersionShowsTheSwitchesForGood) {
  Tmf w("/tmp/");
  w.show();
  DoubleClickVersion(w);
  DoubleClickVersion(w);
  for (const char* name : {"CB_LS", "CB_LC", "CB_LCD", "CB_Show_Request", "CB_Show_Response",
                           "CB_Auto_Start"}) {
    EXPECT_TRUE(Child<QCheckBox>(w, name)->isVisible()) << name;
  }
}

TEST(Tmf, SwitchClicksShowAndHideTheAreas) {
  struct Case {
    const char* name;
    std::vector<const char*> clicks;
    bool service_area, command_area;
    std::vector<Switch> on;
  };
  const Case cases[] = {
      {"log service shows the service area", {"CB_LS"}, true, false, {Switch::kLogService}},
      {"log service twice hides it again", {"CB_LS", "CB_LS"}, false, false, {}},
      {"log command shows the command area", {"CB_LC"}, false, true, {Switch::kLogCommand}},
      {"log connect shows the command area", {"CB_LCD"}, false, true, {Switch::kLogConnect}},
      {"unticking log connect hides it though log command is ticked",
       {"CB_LC", "CB_LCD", "CB_LCD"}, false, false, {Switch::kLogCommand}},
      {"show request changes no area", {"CB_Show_Request"}, false, false, {Switch::kShowRequest}},
  };
  for (const Case& c : cases) {
    Tmf w("/tmp/");
    w.show();
    DoubleClickVersion(w);
    for (const char* name : c.clicks) Child<QCheckBox>(w, name)->click();
    EXPECT_EQ(Child<QWidget>(w, "P_Client")->isVisible(), c.service_area) << c.name;
    EXPECT_EQ(Child<QWidget>(w, "P_Bottom")->isVisible(), c.command_area) << c.name;
    for (Switch s : {Switch::kLogService, Switch::kLogCommand, Switch::kLogConnect,
                     Switch::kShowRequest, Switch::kShowResponse}) {
      const bool expected = std::find(c.on.begin(), c.on.end(), s) != c.on.end();
      EXPECT_EQ(w.IsOn(s), expected) << c.name << " switch " << static_cast<int>(s);
    }
  }
}

TEST(Tmf, AppendsFromManyThreadsArriveWholeAndInEachThreadsOrder) {
  Tmf w("/tmp/");
  constexpr int kThreads = 8, kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&w, t] {
      for (int i = 0; i < kLines; ++i) {
        w.Append(Memo::kService, "thread " + std::to_string(t) + " line " + std::to_string(i));
      }
    });
  }
  for (auto& t : threads) t.join();
  w.Append(Memo::kService, "from the window's thread");
  ASSERT_TRUE(ProcessUntil([&] { return Lines(w, "MS").size() == 2 + kThreads * kLines; }));
  const QStringList lines = Lines(w, "MS");
  EXPECT_EQ(lines.front(), "Service");
  std::vector<int> next(kThreads, 0);
  for (const QString& line : lines.mid(1)) {
    if (line == "from the window's thread") continue;
    const QStringList parts = line.split(' ');
    ASSERT_EQ(parts.size(), 4) << line.toStdString();
    const int t = parts[1].toInt(), i = parts[3].toInt();
    EXPECT_EQ(i, next[t]) << line.toStdString();
    next[t] = i + 1;
  }
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(next[t], kLines);
  EXPECT_EQ(Lines(w, "MS2"), QStringList{"Service"});
}

TEST(Tmf, BoxFromARequestThreadHoldsOnlyThatThreadUntilDismissed) {
  Tmf w("/tmp/");
  QStringList shown;
  std::atomic<bool> returned{false};
  w.SetBoxPresenter([&](const QString& text) {
    shown << text;
    EXPECT_FALSE(returned);  // the asking thread is still held while the box is up
  });
  std::thread request([&] {
    w.MessageBox("id=2371\r\nLogin_User_cp=1");
    returned = true;
  });
  ASSERT_TRUE(ProcessUntil([&] { return returned.load(); }));
  request.join();
  EXPECT_EQ(shown, QStringList{"id=2371\r\nLogin_User_cp=1"});
  EXPECT_EQ(w.PendingBoxes(), 0u);
}

TEST(Tmf, WaitingForARequestThreadThatWaitsOnABoxDoesNotDeadlock) {
  // As when Stop waits for connection threads while one of them shows "Show Request".
  Tmf w("/tmp/");
  int boxes = 0;
  w.SetBoxPresenter([&](const QString&) { ++boxes; });
  std::atomic<bool> asked{false};
  std::thread request([&] {
    asked = true;
    w.MessageBox("request text");
  });
  while (!asked) std::this_thread::yield();
  w.RunKeepingEvents([&] { request.join(); });
  EXPECT_EQ(boxes, 1);
}

TEST(Tmf, ShutdownReleasesThreadsWaitingOnBoxesAndLaterBoxesReturnAtOnce) {
  Tmf w("/tmp/");
  int boxes = 0;
  w.SetBoxPresenter([&](const QString&) { ++boxes; });
  std::atomic<bool> returned{false};
  std::thread request([&] {
    w.MessageBox("never shown");
    returned = true;
  });
  while (w.PendingBoxes() == 0) std::this_thread::yield();
  w.Shutdown();
  request.join();
  EXPECT_TRUE(returned);
  w.MessageBox("after the end");
  QApplication::processEvents();
  EXPECT_EQ(boxes, 0);
}

TEST(Tmf, StartStopCaptionAndClockColoursFollowTheListenerSet) {
  struct Case { const char* name; bool running; const char* caption; const char* colour; };
  const Case cases[] = {{"running", true, "Stop", "green"}, {"stopped", false, "Start", "red"}};
  for (const Case& c : cases) {
    Tmf w("/tmp/");
    std::thread other([&] {  // listener 5's port commands call these from request threads
      w.ShowStartStop(c.running);
      w.ShowClockRunning(c.running);
      w.ShowClock("12:34:56");
    });
    other.join();
    ASSERT_TRUE(ProcessUntil([&] { return Child<QLabel>(w, "L_Time")->text() == "12:34:56"; }));
    auto* button = Child<QPushButton>(w, "BB_Start_Stop");
    EXPECT_EQ(button->text(), c.caption) << c.name;
    EXPECT_TRUE(button->styleSheet().contains(c.colour)) << c.name;
    EXPECT_TRUE(Child<QLabel>(w, "L_Time")->styleSheet().contains(c.colour)) << c.name;
  }
}

TEST(Tmf, StartWithoutActivePortKeepsStartAndShowsWhy) {
  const auto folder = std::filesystem::temp_directory_path() / "veltra_gui_start_test";
  std::filesystem::create_directories(folder / "MySSL");
  for (const char* f : {"Cabundle.crt", "CRT.crt", "Private-key.crt"}) {
    std::ofstream(folder / "MySSL" / f) << "x";
  }
  const std::string exe_folder = folder.string() + "/";
  Tmf w(exe_folder);
  QStringList shown;
  w.SetBoxPresenter([&](const QString& t) { shown << t; });
  TServiceSettings settings;
  settings.ExeFolder = exe_folder;
  for (auto& port : settings.Port) port = "0";
  testing::FakeClock clock;
  ServiceHost host(settings, w, clock, [] { return std::string("1405/09/20"); }, &w);
  host.Bind({0, 0, 0, 0, 0, 0, 0});
  w.SetHost(&host);
  QTest::mouseClick(Child<QPushButton>(w, "BB_Start_Stop"), Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_TRUE(shown.contains("There is no active port "));
  EXPECT_EQ(Child<QPushButton>(w, "BB_Start_Stop")->text(), "Start");
  EXPECT_TRUE(Child<QLabel>(w, "Label_Restart_Time")->text().startsWith("1405/09/20  "));
  w.Shutdown();
  std::filesystem::remove_all(folder);
}

TEST(Tmf, ClosingTheWindowMinimisesIt) {
  Tmf w("/tmp/");
  w.show();
  EXPECT_FALSE(w.close());
  QApplication::processEvents();
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(w.windowState() & Qt::WindowMinimized);
}

}  // namespace
}  // namespace veltra
