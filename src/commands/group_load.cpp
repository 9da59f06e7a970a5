#include "commands/group_load.h"

#include "model/group_rows.h"

namespace kestrelon {

void read_group_rows(const GroupStore& store, std::string_view name, CheckListModel& members) {
  members.delete_all_rows();
  for (const GroupEntry& entry : store.read(name)) append_group_row(members, entry);
}

int apply_group_rows(ControllerCore& core, CheckListModel& members) {
  CheckListModel& main = core.main_client_list().rows();
  main.uncheck_all();
  members.uncheck_all();
  {
    SemaphoreGuard hold(core.locks().client_table);
    load_group_rows(main, members, core.tables());
  }
  int missing = 0;
  for (int r = 0; r < members.row_count(); ++r) missing += members.check_state(r) == kChecked ? 0 : 1;
  return missing;
}

}  // namespace kestrelon
