// Draws the operator window with its switches shown and a few service lines, and saves it
// as a PNG (for the README). Runs without a display.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMouseEvent>
#include <QPixmap>

#include "gui/main_window.h"

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const QString out = argc > 1 ? argv[1] : "operator-window.png";
  veltra::Tmf window("/tmp/");
  window.ShowDate("2026/12/11");
  window.ShowStatus("Veltra Web Service  PostgreSQL : 127.0.0.1   DB : clinic   Port : 8081 8082 "
                    "8083 8084 8085 8086 8087   Code : 2");
  window.resize(903, 631);
  window.show();
  for (auto* label : window.findChildren<QLabel*>("Label_Version")) {
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(2, 2), QPointF(2, 2), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(label, &dbl);
  }
  window.findChild<QCheckBox*>("CB_LS")->click();
  window.findChild<QCheckBox*>("CB_LCD")->click();
  window.ShowStartStop(true);
  window.ShowClockRunning(true);
  window.ShowClock("15:04:05");
  window.ShowRestartTime("2026/12/11  15:03:58");
  const char* lines[] = {
      "15:04:01 Listener 1 Request id = 2371",
      "15:04:01 sp_country_select_2371",
      "15:04:01 sp_country_select_2371 Result = ",
      "15:04:03 Listener 2 doc_file_select",
  };
  for (const char* l : lines) window.Append(veltra::Memo::kService, l);
  window.Append(veltra::Memo::kService2, "id=2371&Login_User_Token=...&Login_User_cp=1");
  window.Append(veltra::Memo::kConnect, "127.0.0.1");
  window.Append(veltra::Memo::kDisconnect, "127.0.0.1");
  QApplication::processEvents();
  return window.grab().save(out) ? 0 : 1;
}
