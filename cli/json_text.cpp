#include "json_text.h"

namespace kestrelon::cli {

std::string json_text(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace kestrelon::cli
