#include "gui/config_editor.h"

#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "host/ini_file.h"

namespace veltra {
namespace {

// A folder laid out like the executable's, with a configuration file.
class ExeFolder {
 public:
  explicit ExeFolder(const std::string& ini_text) {
    root_ = std::filesystem::temp_directory_path() /
            ("veltra_gui_editor_" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    std::filesystem::create_directories(root_ / "config");
    if (!ini_text.empty()) std::ofstream(root_ / "config" / "web_service_config.ini") << ini_text;
  }
  ~ExeFolder() { std::filesystem::remove_all(root_); }
  std::string Path() const { return root_.string() + "/"; }
  std::string Ini() const {
    std::ifstream in(root_ / "config" / "web_service_config.ini");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string Key(const char* key) const {
    return IniFile(root_ / "config" / "web_service_config.ini").ReadKey("config", key);
  }

 private:
  std::filesystem::path root_;
};

const char* kIni =
    "[config]\n"
    "MyFiles_Path=D:\\Veltra Files\\\n"
    "Auto_Start=%AUTO%\n"
    "ProviderName=SQL Server\n"
    "DataBase_Server=old-server\n"
    "Database_Name=clinic\n"
    "DataBase_Username=sa\n"
    "DataBase_Password=cce\n"
    "Coding_Mode=2\n"
    "Port_01=443\nPort_02=8082\nPort_03=8083\nPort_04=8084\nPort_05=8085\nPort_06=8086\n"
    "Port_07=8087\n"
    "Port_08=not a number\nPort_09=\nPort_10=9\nPort_11=x11\nPort_12=  12  \n";

std::string IniWithAutoStart(const std::string& auto_start) {
  std::string s = kIni;
  s.replace(s.find("%AUTO%"), 6, auto_start);
  return s;
}

QLineEdit* Field(Tconfig_f& f, const char* name) {
  auto* e = f.findChild<QLineEdit*>(name);
  EXPECT_NE(e, nullptr) << name;
  return e;
}

TEST(Tconfig_f, OpensWithTheFileValuesAndAnEmptyMaskedPassword) {
  ExeFolder folder(IniWithAutoStart("True"));
  TServiceSettings settings;
  Tconfig_f editor(folder.Path(), settings, [] {}, [](const QString&) {});
  ASSERT_TRUE(editor.Loaded());
  EXPECT_EQ(editor.windowTitle(), "Config");
  EXPECT_TRUE(settings.Auto_Start);
  EXPECT_EQ(Field(editor, "E_DataBase_Server")->text(), "old-server");
  EXPECT_EQ(Field(editor, "E_Port_05")->text(), "8085");
  EXPECT_EQ(Field(editor, "E_Port_01")->toolTip(), "Port 1  Post  For HTTPS  Use :  443   codeing");
  EXPECT_EQ(Field(editor, "E_DataBase_Server")->placeholderText(), "DataBase Server");
  EXPECT_EQ(Field(editor, "E_DataBase_Server")->toolTip(), "DataBase  Server");
  auto* password = Field(editor, "E_DataBase_Password");
  EXPECT_EQ(password->text(), "");
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(editor.findChild<QPushButton*>("BB_Test_Connection")->text(), "Test ");
  EXPECT_EQ(editor.findChild<QPushButton*>("BB_Save")->text(), "Save");
}

TEST(Tconfig_f, SaveWritesTheShownKeysAndLeavesTheOthersAlone) {
  struct Case { const char* name; const char* auto_start; const char* written; };
  const Case cases[] = {{"true as -1", "True", "-1"},
                        {"false as 0", "False", "0"},
                        {"number as -1", "5", "-1"}};
  for (const Case& c : cases) {
    ExeFolder folder(IniWithAutoStart(c.auto_start));
    TServiceSettings settings;
    Tconfig_f editor(folder.Path(), settings, [] {}, [](const QString&) {});
    Field(editor, "E_Port_01")->setText("  8080 ");
    Field(editor, "E_DataBase_Server")->setText(" new-server ");
    Field(editor, "E_DataBase_Password")->setText("abc");
    for (int i = 0; i < 3; ++i) editor.Save();
    EXPECT_EQ(folder.Key("Auto_Start"), c.written) << c.name;
    EXPECT_EQ(folder.Key("Port_01"), "8080") << c.name;
    EXPECT_EQ(folder.Key("DataBase_Server"), "new-server") << c.name;
    EXPECT_EQ(folder.Key("DataBase_Password"), "cce") << c.name;
    EXPECT_EQ(folder.Key("Coding_Mode"), "2") << c.name;
    EXPECT_EQ(folder.Key("Port_07"), "8087") << c.name;
    const std::string ini = folder.Ini();
    for (const char* kept : {"MyFiles_Path=D:\\Veltra Files\\\n", "Port_08=not a number\n",
                             "Port_09=\n", "Port_10=9\n", "Port_11=x11\n", "Port_12=  12  \n"}) {
      EXPECT_NE(ini.find(kept), std::string::npos) << c.name << ": " << kept;
    }
  }
}

TEST(Tconfig_f, SaveWithoutTypingAPasswordStoresAnEmptyOne) {
  ExeFolder folder(IniWithAutoStart("0"));
  TServiceSettings settings;
  Tconfig_f editor(folder.Path(), settings, [] {}, [](const QString&) {});
  editor.Save();
  EXPECT_EQ(folder.Key("DataBase_Password"), "");
  EXPECT_EQ(folder.Key("Auto_Start"), "0");
}

TEST(Tconfig_f, TestAsksToCloseOnlyAfterAConnection) {
  struct Case { const char* name; bool connects; bool yes; int result; int boxes; };
  const Case cases[] = {{"failure shows the error", false, true, QDialog::Rejected, 1},
                        {"success and yes closes", true, true, QDialog::Accepted, 0},
                        {"success and no stays", true, false, QDialog::Rejected, 0}};
  for (const Case& c : cases) {
    ExeFolder folder(IniWithAutoStart("0"));
    TServiceSettings settings;
    QStringList boxes, questions;
    Tconfig_f editor(
        folder.Path(), settings,
        [&] {
          if (!c.connects) throw std::runtime_error("Login failed for user 'sa'.");
        },
        [&](const QString& t) { boxes << t; });
    editor.SetAsk([&](const QString& q) {
      questions << q;
      return c.yes;
    });
    editor.Test();
    EXPECT_EQ(editor.result(), c.result) << c.name;
    EXPECT_EQ(boxes.size(), c.boxes) << c.name;
    if (c.connects) {
      EXPECT_EQ(questions, QStringList{" Connected successfully  \n\r\n\r  Close Config ? "}) << c.name;
    } else {
      EXPECT_EQ(boxes, QStringList{"Login failed for user 'sa'."});
    }
  }
}

TEST(Tconfig_f, MissingFileIsReported) {
  ExeFolder folder("");
  TServiceSettings settings;
  QStringList boxes;
  Tconfig_f editor(folder.Path(), settings, [] {}, [&](const QString& t) { boxes << t; });
  EXPECT_FALSE(editor.Loaded());
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].startsWith(" Not FileExists : "));
  EXPECT_TRUE(boxes[0].endsWith("web_service_config.ini"));
}

}  // namespace
}  // namespace veltra
