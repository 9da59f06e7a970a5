#pragma once
// What the client registry needs of the main client list. The registry mirrors the
// client table into whatever implements this: the list model behind the window,
// or a plain model in tests and in the command line. Called on the user-interface
// thread only, with the client table lock held.
#include <cstdint>
#include <string>

namespace kestrelon {

// The five fields of a Client row: the name, the address in its padded text form
// ("%03d.%03d.%03d.%03d"), the disk count, the zero-based index of the target disk
// and that disk's size in MB (sectors shifted right by 11).
struct ClientRowFields {
  std::string name;
  std::string address;
  int disk_count = 0;
  int disk_index = 0;
  std::int64_t size_mb = 0;
};

class ClientListView {
 public:
  virtual ~ClientListView() = default;
  virtual int row_count() const = 0;
  // Removes every row (Discover with clear).
  virtual void clear_rows() = 0;
  virtual void delete_row(int row) = 0;
  // The text of the row's address column; empty for a row that does not exist.
  virtual std::string address_text(int row) const = 0;
  // Adds an unchecked row at its place in name order; check marks of the other
  // rows are kept.
  virtual void insert_client_row_sorted(const ClientRowFields& fields) = 0;
  virtual void check_row(int row) = 0;
  // Rebuilds the target table from the checked rows. The caller holds the client
  // table lock.
  virtual void rebuild_target_table_locked() = 0;
};

}  // namespace kestrelon
