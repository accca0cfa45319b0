#include "gui/config_editor.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>

#include <filesystem>

#include "host/platform.h"
#include "host/startup.h"
#include "wire/text.h"

namespace veltra {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

constexpr const char* kPort5Tooltip =
    "Port  5  Get   No Codeing  http://127.0.0.1:8085/?id=1430&params='1','2','3','4','5','6',"
    "'7','username','password','11','09000000000'&token=0&lucp=0";

}  // namespace

Tconfig_f::Tconfig_f(std::string exe_folder, TServiceSettings& settings,
                     std::function<void()> test_connection,
                     std::function<void(const QString&)> show_box, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      test_connection_(std::move(test_connection)),
      show_box_(std::move(show_box)) {
  setObjectName("config_f");
  setWindowTitle("Config");
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowCloseButtonHint);
  setModal(true);
  ask_ = [this](const QString& question) {
    return QMessageBox::question(this, windowTitle(), question,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
  };

  auto* grid = new QGridLayout(this);
  int row = 0;
  auto place = [&](const char* label, QLineEdit* edit, const char* note = nullptr) {
    grid->addWidget(new QLabel(label, this), row, 0);
    grid->addWidget(edit, row, 1);
    if (note) grid->addWidget(new QLabel(note, this), row, 2);
    ++row;
  };
  // Added in the order Save writes them.
  place("Provider", AddField("E_ProviderName", "ProviderName", "ProviderName", "ProviderName"));
  place("Server", AddField("E_DataBase_Server", "DataBase_Server", "DataBase  Server",
                           "DataBase Server"));
  place("DataBase",
        AddField("E_Database_Name", "Database_Name", "Database Name", "Database Name"));
  place("Username", AddField("E_DataBase_Username", "DataBase_Username", "DataBase Username",
                             "DataBase Username"));
  password_ = new QLineEdit(this);
  password_->setObjectName("E_DataBase_Password");
  password_->setToolTip("DataBase Password");
  password_->setPlaceholderText("DataBase Password");
  password_->setEchoMode(QLineEdit::Password);
  // The platform's echo glyph is a bullet; ask for the asterisk the operators know.
  password_->setStyleSheet("lineedit-password-character: 42;");
  place("Password", password_);
  place("Codeing", AddField("E_Coding_Mode", "Coding_Mode", "Coding Mode  0  or 1 or  2",
                            "Coding Mode  0  or 1 or  2"));
  place("Port  01", AddField("E_Port_01", "Port_01", "Port 1  Post  For HTTPS  Use :  443   codeing",
                             "Port 1"),
        "For HTTPS / SSL  Use :  443  Post codeing");
  place("Port  02", AddField("E_Port_02", "Port_02", "Port 2  Post", "Port 2"));
  place("Port  03", AddField("E_Port_03", "Port_03", "Port  3  Post", "Port 3"));
  place("Port  04", AddField("E_Port_04", "Port_04", "Port 4  Post", "Port 4"));
  place("Port  05", AddField("E_Port_05", "Port_05", kPort5Tooltip, "Port 5"),
        "All Get Requset  sample  Caller ID Insert");
  place("Port  06", AddField("E_Port_06", "Port_06", "Port  6  Post   No Codeing", "Port 6"),
        " Post Request  Send File to Server");
  place("Port  07", AddField("E_Port_07", "Port_07", "Port  7  No Codeing", "Port 7"),
        "Request  Recice File From Server");
  bb_save_ = new QPushButton("Save", this);
  bb_save_->setObjectName("BB_Save");
  bb_test_ = new QPushButton("Test ", this);
  bb_test_->setObjectName("BB_Test_Connection");
  grid->addWidget(bb_save_, row, 0);
  grid->addWidget(bb_test_, row, 1);
  connect(bb_save_, &QPushButton::clicked, this, &Tconfig_f::Save);
  connect(bb_test_, &QPushButton::clicked, this, &Tconfig_f::Test);

  const std::string path = exe_folder + HostRelativePath("config\\web_service_config.ini");
  if (!std::filesystem::exists(path)) {
    show_box_(Q(" Not FileExists : " + path));
    return;
  }
  ini_ = std::make_unique<IniFile>(path);
  if (auto on = TryStrToBool(ini_->ReadKey(kConfigSection, "Auto_Start"))) {
    settings_.Auto_Start = *on;
  }
  for (const Field& f : fields_) f.edit->setText(Q(ini_->ReadKey(kConfigSection, f.key)));
  setFixedSize(sizeHint());
}

QLineEdit* Tconfig_f::AddField(const char* name, const char* key, const char* tooltip,
                               const char* placeholder) {
  auto* edit = new QLineEdit(this);
  edit->setObjectName(name);
  edit->setToolTip(tooltip);
  edit->setPlaceholderText(placeholder);
  fields_.push_back({key, edit});
  return edit;
}

void Tconfig_f::Save() {
  if (!ini_) return;
  auto text = [](QLineEdit* e) { return Trim(e->text().toStdString()); };
  try {
    ini_->WriteKey(kConfigSection, "Auto_Start", settings_.Auto_Start ? "-1" : "0");
    std::size_t i = 0;
    for (; i < 4; ++i) ini_->WriteKey(kConfigSection, fields_[i].key, text(fields_[i].edit));
    ini_->WriteKey(kConfigSection, "DataBase_Password",
                   PasswordShift(text(password_), ShiftDirection::kHide));
    for (; i < fields_.size(); ++i) {
      ini_->WriteKey(kConfigSection, fields_[i].key, text(fields_[i].edit));
    }
  } catch (const std::exception& e) {
    show_box_(QString::fromUtf8(e.what()));
  }
  bb_test_->setFocus();
}

void Tconfig_f::Test() {
  try {
    test_connection_();
  } catch (const std::exception& e) {
    show_box_(QString::fromUtf8(e.what()));
    return;
  }
  if (ask_(" Connected successfully  \n\r\n\r  Close Config ? ")) accept();
}

}  // namespace veltra
