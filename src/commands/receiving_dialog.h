#pragma once
// The Receiving dialog as the Create flow sees it (the engine sees its hooks). The
// window front end implements it with a real progress dialog, the command line
// with a progress line, tests with a recording fake.
#include <cstdint>
#include <string>

#include "transfer/receiving_dialog_hooks.h"
#include "transfer/transfer_stats.h"
#include "transfer/transfer_texts.h"

namespace kestrelon {

// What the Receiving dialog is made with.
struct ReceivingDialogInfo {
  std::string file_name;    // the output file's name without folder
  std::string client_name;  // the uploading Client's name
  bool compressed = false;  // a compression level other than 0 was chosen
};

// Every text of one refresh of the Receiving dialog, `elapsed_seconds` after it
// opened, with the engine's position.
RefreshTexts receiving_refresh_texts(const TransferStats& stats, std::int32_t position,
                                     std::int64_t elapsed_seconds, const ReceivingDialogInfo& info);

class ReceivingDialog : public ReceivingDialogHooks {
 public:
  // User-interface thread: runs the dialog modally and says how it ended.
  virtual End run_modal() = 0;
};

}  // namespace kestrelon
