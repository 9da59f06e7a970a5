#pragma once
// kestrelon-cli as a child process: one command verb, with its settings,
// profile and transfer journal kept in a folder of the test's own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_folder.h"

namespace kestrelon::test {

class CliRig : public ::testing::Test {
 protected:
  // `verb` ("copy", "create", ...) leads every command line; `trailing` ends it.
  explicit CliRig(std::string verb, std::vector<std::string> trailing = {})
      : verb_(std::move(verb)), trailing_(std::move(trailing)) {}

  std::vector<std::string> environment() const {
    return {"KESTRELON_SETTINGS_DIR=" + (temp / "settings").string(),
            "KESTRELON_PROFILE=" + (temp / "kestreln.ini").string(), "XDG_STATE_HOME=" + (temp / "state").string()};
  }
  std::vector<std::string> command(std::vector<std::string> args) const {
    args.insert(args.begin(), {KESTRELON_CLI_PATH, verb_});
    args.insert(args.end(), trailing_.begin(), trailing_.end());
    return args;
  }

  std::filesystem::path journal() const { return temp / "state" / "kestrelon" / "transfers.jsonl"; }

  TempFolder temp;

 private:
  std::string verb_;
  std::vector<std::string> trailing_;
};

}  // namespace kestrelon::test
