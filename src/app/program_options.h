#pragma once
// The three options that travel to the Clients with every transfer, one object
// for the whole program (ControllerCore owns it). "Keep partition size" and
// "Create Unique NT SID" start from the settings; "Force sector-by-sector
// copying" starts off at every start and is never stored. The Preferences change
// them; the window's Copy and Create and kestrelon-cli's copy and create read them
// (the command line's switches turn them on or off for one run).
#include "app/settings_store.h"
#include "transfer/copy_engine.h"

namespace kestrelon {

struct ProgramOptions {
  bool keep_partition_size = false;  // OP_COPY_START flag 1; full sizes in the disk space check
  bool unique_sid = true;            // OP_COPY_START flag 2
  bool sector_by_sector = false;     // OP_COPY_START and OP_CREATE_REQUEST flag 4

  // "KeepPartitionSize" (missing: off) and "SID" (missing: on); sector-by-sector off.
  static ProgramOptions from_settings(const SettingsStore& store);
  // Writes "KeepPartitionSize" and "SID" as "%d"; sector-by-sector is not stored.
  void store(SettingsStore& store) const;

  CopyOptions copy_options() const {
    return {.keep_partition_size = keep_partition_size, .unique_sid = unique_sid, .sector_by_sector = sector_by_sector};
  }

  friend bool operator==(const ProgramOptions&, const ProgramOptions&) = default;
};

}  // namespace kestrelon
