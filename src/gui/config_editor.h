// Tconfig_f: the modal editor of the configuration file's database settings, coding mode and
// seven listener ports. The running process never re-reads the file; whoever opens the editor
// restarts the program when it closes.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/ini_file.h"
#include "host/settings.h"

namespace veltra {

class Tconfig_f : public QDialog {
  Q_OBJECT

 public:
  // `test_connection` opens a connection with the settings the process runs with and throws
  // the data-access layer's error when it cannot. `show_box` shows an error or a note.
  Tconfig_f(std::string exe_folder, TServiceSettings& settings,
            std::function<void()> test_connection,
            std::function<void(const QString&)> show_box, QWidget* parent = nullptr);

  // False when the configuration file is missing (" Not FileExists : " was shown).
  bool Loaded() const { return ini_ != nullptr; }

  void Save();
  void Test();
  // The Yes/No question after a successful test; tests replace it.
  void SetAsk(std::function<bool(const QString&)> ask) { ask_ = std::move(ask); }

 private:
  struct Field {
    const char* key;
    QLineEdit* edit;
  };
  QLineEdit* AddField(const char* name, const char* key, const char* tooltip,
                      const char* placeholder);

  TServiceSettings& settings_;
  std::function<void()> test_connection_;
  std::function<void(const QString&)> show_box_;
  std::function<bool(const QString&)> ask_;
  std::unique_ptr<IniFile> ini_;
  std::vector<Field> fields_;
  QLineEdit* password_ = nullptr;
  QPushButton* bb_save_ = nullptr;
  QPushButton* bb_test_ = nullptr;
};

}  // namespace veltra
