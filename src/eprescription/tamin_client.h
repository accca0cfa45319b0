// The e-prescription client: the settings and token of the social-security e-prescription
// service (Tamin), request 112 and the operator's three test commands.
#pragma once

#include <filesystem>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/gateway.h"
#include "eprescription/f112.h"
#include "eprescription/http_client.h"
#include "host/clock.h"
#include "host/console.h"
#include "host/startup.h"

namespace veltra {

// The ten settings, read from the database by request 111 (column names = field names).
struct TaminSettings {
  std::string tamin_auth_api_login_url;
  std::string tamin_client_id;
  std::string tamin_secret;
  std::string tamin_main_url;
  std::string tamin_PostQuery;  // appended to tamin_main_url with no separator
  std::string tamin_PrescriptionTypeQuery;
  std::string tamin_srvTypeQuery;
  std::string tamin_srvCodeQuery;
  std::string tamin_parGrpCodeQuery;
  std::string tamin_drugAmntIdQuery;
};

// A copy of the whole e-prescription state, for the window and for tests.
struct TaminState {
  TaminSettings settings;
  bool TaminActive = false;
  std::string TaminToken;
  std::string TaminLastResult;
  std::string TaminLastMessage;
};

// Pieces of the request-112 answers.
inline constexpr std::string_view kOpeningPiece = R"({"Data":[{"s_result":"1","s_message":")";
inline constexpr std::string_view kClosingPiece = R"(","s_param":"0"}]} )";
inline constexpr std::string_view kRetryAnswer =
    R"({"Data":[{"s_result":"1","s_message":"Try Agin ... 112","s_param":"0"}]} )";
inline constexpr std::string_view kOpeningPieceResult0 =
    R"({"Data":[{"s_result":"0","s_message":")";

// Line feed then carriage return: the separator of this client's texts.
inline constexpr std::string_view kLfCr = "\n\r";

// The sample submission answer of the "test" command: the service's refusal of a
// prescription not dated today.
extern const std::string_view kSampleSubmissionAnswer;

// The fixed values of "Test Tamin Token A", from a private file kept out of the repository.
struct TaminTestValues {
  std::string login_url;
  std::string client_id;
  std::string secret;
  std::string send_url;
  std::string prescription;  // compact JSON
};
// Reads config/tamin_test.ini (key=value lines: login_url, client_id, secret, send_url and
// either prescription or patient, mobile, prescDate, expireDate, docId, docMobileNo,
// docNationalCode). nullopt when the file or one of the four endpoint values is missing.
std::optional<TaminTestValues> LoadTaminTestValues(const std::filesystem::path& file);

// Envelope answer: opening piece, Base64 of the trimmed text, " 112", closing piece.
std::string EnvelopeWithB64(std::string_view text);

class TaminClient : public Prescriber {
 public:
  TaminClient(db::StoredProcGateway& gateway, Console& console, const Clock& clock,
              HttpClient& http);

  // Start-up: switch off, no token, request 101, and request 111 when the switch is on.
  // Takes no token.
  void RunStartupLoaders();
  // Request 101: sets TaminActive.
  void Fill_msetting_Active_Params();
  // Request 111: fills the ten settings (requests no token, whatever the name says).
  void Fill_tamin_Params_and_take_token();

  // One token request. Touches no client state: the outcome goes to the two slots only.
  bool Tamin_Take_Token(const std::string& login_url, const std::string& client_id,
                        const std::string& secret, std::string& token_slot,
                        std::string& error_slot);
  // One submission; a 401 answer renews the process-wide token.
  bool Tamin_Send_Visit(const std::string& url, const std::string& token,
                        const std::string& body, std::string& error_slot,
                        std::string& result_slot);

  std::string F_112(const std::string& request_id, const std::string& prescription) override;
  void ClearLastResult() override;

  // Popup-menu commands "Test Tamin Token A", "Test Tamin Token B" and "test".
  void TestTaminTokenA(const std::filesystem::path& test_values_file);
  void TestTaminTokenB();
  void TestSampleAnswer();

  TaminState State() const;

 private:
  using Boxes = std::vector<std::string>;  // message boxes to show once the state is free

  void LoadActiveLocked(Boxes& boxes);
  // One loader request to the dispatcher: its answer, or "" with the failure box queued.
  // `called` tells whether the dispatcher answered at all. Logs `log_line` and the answer.
  std::string CallLoader(const char* request_id, std::string_view log_line, Boxes& boxes,
                         bool& called);
  void LoadSettingsLocked(Boxes& boxes);
  bool SendVisitLocked(const std::string& url, const std::string& token,
                       const std::string& body, std::string& error_slot,
                       std::string& result_slot);
  std::string F112Locked(const std::string& prescription);
  std::string LastResult() const;
  void PublishLastResult(std::string result);
  void Show(const Boxes& boxes);
  void Log(std::string_view literal);

  db::StoredProcGateway& gateway_;
  Console& console_;
  const Clock& clock_;
  HttpClient& http_;

  // Held for a whole request-112 flow, a whole test command and a whole reload, so that every
  // answer is built from its own exchange's result and error. Never held while a message
  // box of this client is open. Guards settings_, active_, token_ and last_message_.
  mutable std::mutex state_mutex_;
  TaminSettings settings_;
  bool active_ = false;
  std::string token_;
  std::string last_message_;

  // Guards last_result_ alone and is held only for a copy, so that listener 1's reset before
  // each permission check never waits behind a running flow. Flows fill a copy of the last
  // result and publish it when their exchange is done.
  mutable std::mutex last_result_mutex_;
  std::string last_result_;
};

// The client's start-up step as the host runs it.
class TaminStartupHook : public StartupHook {
 public:
  explicit TaminStartupHook(TaminClient& client) : client_(client) {}
  void OnStartup() override { client_.RunStartupLoaders(); }

 private:
  TaminClient& client_;
};

}  // namespace veltra
