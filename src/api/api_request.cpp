#include "api/api_request.h"

#include "wire/request_fields.h"

namespace veltra::api {

std::string ApiRequest::Field(std::string_view name) const { return FieldValue(text, name); }

std::vector<std::string> ApiRequest::Fields(std::initializer_list<std::string_view> names) const {
  std::vector<std::string> values;
  values.reserve(names.size());
  for (std::string_view name : names) values.push_back(Field(name));
  return values;
}

}  // namespace veltra::api
