#pragma once
// The main client list: the check-list rows of the Clients, tied to the client and
// target tables. The client registry mirrors the client table into it; the check
// marks are the user's choice of Clients, turned into the target table before
// every transfer and group save.
#include "model/check_list_model.h"
#include "net/client_list_view.h"
#include "net/client_record.h"
#include "platform/semaphore.h"

namespace kestrelon {

// Fills the target table from the checked rows' texts, in row order: name (first
// 40 bytes), address, selected disk (the digit after "Disk " minus 1), disk count
// (the number of disk marks) and the selected disk's size (MB from the target text
// times 2048 sectors). Other fields of each record keep their earlier contents.
// A row whose address is not in the padded form gives no target, and a disk index
// outside 0..3 stores no size: neither can come from a real Client row, and both
// would otherwise aim a transfer at a wrong address or write past the disks.
// The caller holds the client table lock.
void rebuild_target_table(const CheckListModel& rows, ClientTables& tables);

class MainClientList final : public ClientListView {
 public:
  MainClientList(ClientTables& tables, Semaphore& client_table_lock);

  CheckListModel& rows() { return rows_; }
  const CheckListModel& rows() const { return rows_; }

  // Takes the client table lock first when `take_lock`; callers that already hold
  // it pass false.
  void rebuild_target_table(bool take_lock);

  // After a drive choice: each Client of the client table, in table order, updates
  // the disk marks and target text of its rows. Check marks and order stay. The
  // caller holds the client table lock.
  void update_rows_from_client_table();

  // ClientListView
  int row_count() const override { return rows_.row_count(); }
  void clear_rows() override { rows_.clear(); }
  void delete_row(int row) override { rows_.delete_row(row); }
  std::string address_text(int row) const override { return rows_.cell(row, 1); }
  void insert_client_row_sorted(const ClientRowFields& fields) override { rows_.insert_client_row_sorted(fields); }
  void check_row(int row) override { rows_.check(row); }
  void rebuild_target_table_locked() override { rebuild_target_table(false); }

 private:
  ClientTables& tables_;
  Semaphore& lock_;
  CheckListModel rows_;
};

}  // namespace kestrelon
