#include "commands/receiving_dialog.h"

namespace kestrelon {

RefreshTexts receiving_refresh_texts(const TransferStats& stats, std::int32_t position,
                                     std::int64_t elapsed_seconds, const ReceivingDialogInfo& info) {
  RefreshInputs in;
  in.position = position;
  in.elapsed_seconds = elapsed_seconds;
  in.done_kib = stats.progress_done.load();
  in.total_kib = stats.progress_total.load();
  in.acknowledgements = stats.acknowledgements.load();
  in.retries = stats.retries.load();
  RefreshTexts texts = refresh_texts(in);
  texts.file = receive_file_text(info.file_name, in.total_kib, info.compressed);
  texts.client = info.client_name;
  return texts;
}

}  // namespace kestrelon
