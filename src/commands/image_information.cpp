#include "commands/image_information.h"

#include "commands/transfer_checks.h"
#include "model/image_file_list.h"
#include "transfer/image_file.h"

namespace kestrelon {

std::optional<std::string> file_information_text(const std::string& folder, const std::string& name) {
  const std::string path = image_file_path(folder, name);
  ImageFile file;
  if (file.open(path) != 0) return std::nullopt;
  const auto length = file.length();
  if (!length) return std::nullopt;
  std::string text = image::information_text(name, *length, description_to_utf8(file.description()));
  file.close();
  if (const std::string damage = image_damage(path); !damage.empty())
    text += "\r\n\r\n" + std::string(kImageWarningPrefix) + damage + " Copy refuses it.";
  return text;
}

}  // namespace kestrelon
