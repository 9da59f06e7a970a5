#include "commands/load_group_dialog.h"

#include "commands/group_load.h"

namespace kestrelon {

LoadGroupDialog::LoadGroupDialog(ControllerCore& core, GroupPort& port, WakeSeams seams)
    : core_(core), port_(port), store_(core.profile()), names_(store_.names()), seams_(std::move(seams)) {}

void LoadGroupDialog::select_group(const std::string& name, CheckListModel& preview) {
  read_group_rows(store_, name, preview);
  chosen_ = name;
}

LoadGroupDialog::LoadResult LoadGroupDialog::load(CheckListModel& preview) {
  if (chosen_.empty()) {
    port_.show_message(kSelectGroupText);
    return LoadResult::stay_open;
  }
  // The target table keeps the check marks the load replaces: a Client that
  // drops out and comes back is checked again from it.
  core_.main_client_list().rebuild_target_table(true);
  const GroupLoad loaded = load_group(core_, preview);
  if (!loaded.moved.empty()) {
    std::string text;
    for (const MovedMember& m : loaded.moved) text += (text.empty() ? "" : "\n") + moved_member_text(m);
    port_.show_message(text);
  }
  if (loaded.missing == 0) return LoadResult::loaded;
  if (!wake_) return LoadResult::loaded_with_missing;
  watch_ = std::make_unique<RoomWatch>(core_, preview, true, 0, RoomWatch::kWatchMs, seams_);
  if (const std::string text = unwoken_text(watch_->begin(core_.clock().now())); !text.empty())
    port_.show_message(text);
  return LoadResult::loaded_waking;
}

std::string unwoken_text(const std::vector<WakeOutcome>& outcomes) {
  std::string text;
  for (const WakeOutcome& o : outcomes) {
    if (o.woken()) continue;
    text += (text.empty() ? "Not woken: " : "; ") + o.name + " (" + o.problem + ")";
  }
  return text.empty() ? text : text + ".";
}

bool LoadGroupDialog::remove(const std::optional<std::string>& selected, CheckListModel& preview) {
  if (!selected) {
    port_.show_message(kSelectGroupText);
    return false;
  }
  const bool removed = store_.remove(*selected);
  if (removed) names_ = store_.names();
  chosen_.clear();
  preview.delete_all_rows();
  deleted_ = true;
  return removed;
}

}  // namespace kestrelon
