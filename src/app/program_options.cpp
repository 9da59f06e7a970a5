#include "app/program_options.h"

#include "app/program_settings.h"

namespace kestrelon {

ProgramOptions ProgramOptions::from_settings(const SettingsStore& store) {
  const ProgramSettings settings = read_program_settings(store);
  return {.keep_partition_size = settings.keep_partition_size != 0,
          .unique_sid = settings.unique_sid != 0,
          .sector_by_sector = false};
}

void ProgramOptions::store(SettingsStore& store) const {
  write_transfer_options(store, keep_partition_size ? 1 : 0, unique_sid ? 1 : 0);
}

}  // namespace kestrelon
