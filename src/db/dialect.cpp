#include "db/dialect.h"

#include "wire/text.h"

#include <algorithm>
#include <stdexcept>

namespace veltra::db {
namespace {

std::string Lower(std::string_view text) { return AsciiLower(text); }

bool Contains(const std::string& text, const std::string& part) {
  return Lower(text).find(Lower(part)) != std::string::npos;
}

// A value enclosed in braces when it holds a character that would end or confuse the pair.
std::string Attribute(const std::string& key, const std::string& value) {
  bool plain = value.find_first_of(";{}= ") == std::string::npos;
  if (plain) return key + "=" + value + ";";
  std::string braced = "{";
  for (char c : value) {
    braced += c;
    if (c == '}') braced += '}';
  }
  return key + "=" + braced + "};";
}

// Without the procedure group suffix ";N", which PostgreSQL has no notion of.
std::string WithoutGroup(const std::string& procedure) {
  auto semicolon = procedure.rfind(';');
  if (semicolon == std::string::npos) return procedure;
  auto rest = procedure.substr(semicolon + 1);
  if (rest.empty() || !std::all_of(rest.begin(), rest.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return procedure;
  return procedure.substr(0, semicolon);
}

}  // namespace

Dialect DialectFromDbmsName(const std::string& dbms_name) {
  return Contains(dbms_name, "postgres") ? Dialect::kPostgreSql : Dialect::kSqlServer;
}

std::string ResolveDriver(const std::string& provider, const std::vector<std::string>& registered) {
  auto is_registered = [&](const std::string& name) {
    return std::find(registered.begin(), registered.end(), name) != registered.end();
  };
  if (Lower(provider) == "sql server") {
    for (const char* candidate :
         {"ODBC Driver 18 for SQL Server", "ODBC Driver 17 for SQL Server", "FreeTDS"}) {
      if (is_registered(candidate)) return candidate;
    }
    throw std::runtime_error(
        "No ODBC driver for SQL Server is installed (ODBC Driver 18 or 17 for SQL Server, FreeTDS)");
  }
  if (Lower(provider) == "postgresql") return "PostgreSQL Unicode";
  return provider;
}

std::string BuildConnectionString(const std::string& driver, const ConnectionSettings& settings) {
  std::string host = settings.server, port;
  if (auto comma = host.find(','); comma != std::string::npos) {
    port = host.substr(comma + 1);
    host = host.substr(0, comma);
  }
  std::string s = Attribute("DRIVER", driver);
  if (Contains(driver, "postgres")) {
    s += Attribute("SERVER", host);
    if (!port.empty()) s += Attribute("PORT", port);
    s += Attribute("DATABASE", settings.database) + Attribute("UID", settings.user) +
         Attribute("PWD", settings.password);
    // Booleans as bits, text columns as text, no driver log; refcursors returned by a
    // function come back as ordinary result sets.
    s += "BoolsAsChar=0;TextAsLongVarchar=0;CommLog=0;FetchRefcursors=1;";
  } else if (Contains(driver, "freetds")) {
    s += Attribute("SERVER", host);
    if (!port.empty()) s += Attribute("PORT", port);
    s += Attribute("DATABASE", settings.database) + Attribute("UID", settings.user) +
         Attribute("PWD", settings.password) + "ClientCharset=UTF-8;TDS_Version=7.4;";
  } else {
    // The Microsoft drivers take host,port as written.
    s += Attribute("SERVER", settings.server) + Attribute("DATABASE", settings.database) +
         Attribute("UID", settings.user) + Attribute("PWD", settings.password);
  }
  return s;
}

std::string DiscoveryName(Dialect dialect, const std::string& procedure) {
  if (dialect == Dialect::kSqlServer) return procedure;
  return Lower(WithoutGroup(procedure));
}

std::string CallText(Dialect dialect, const std::string& procedure, int markers, bool with_return) {
  std::string name = dialect == Dialect::kSqlServer ? procedure : Lower(WithoutGroup(procedure));
  std::string text = with_return ? "{? = call " : "{call ";
  text += name;
  // SQL Server writes a call without parameters without parentheses; psqlODBC wants them.
  if (markers > 0 || dialect == Dialect::kPostgreSql) {
    text += "(";
    for (int i = 0; i < markers; ++i) text += i == 0 ? "?" : ",?";
    text += ")";
  }
  text += "}";
  return text;
}

}  // namespace veltra::db
