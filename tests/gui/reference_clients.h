#pragma once
// Reference Clients (kestrelon-client processes) with sparse virtual disks, on
// loopback addresses inside the test's private network, for tests of the window
// against real Clients.
#include <filesystem>
#include <string>
#include <vector>

#include <wx/filefn.h>
#include <wx/string.h>

#include "support/private_network.h"

namespace kestrelon::test {

struct ReferenceMachine {
  std::string name;
  std::string address;      // a loopback address, 127.0.0.x
  std::vector<int> disks_mb;  // one disk per entry
  int random_mb = 0;        // incompressible bytes at the start of the first disk's first partition
  std::vector<std::string> options = {};  // further kestrelon-client options
  // The sfdisk script of each disk, in order; a disk without one gets a single
  // partition over all of it.
  std::vector<std::string> partitionings = {};
};

class ReferenceClients {
 public:
  ReferenceClients() = default;
  ~ReferenceClients();
  ReferenceClients(const ReferenceClients&) = delete;
  ReferenceClients& operator=(const ReferenceClients&) = delete;

  // The reference Client program: the one built with the tests, or the one
  // KESTRELON_TEST_CLIENT names; empty when there is none.
  static wxString Program();

  // Starts one Client per machine, its disks made in `folder`. False, with the
  // reason in `error`, when a disk or a process could not be made.
  bool Start(const std::filesystem::path& folder, const std::vector<ReferenceMachine>& machines, std::string& error);
  // Ends machine `index`'s Client: it stops answering.
  void Stop(std::size_t index);

 private:
  std::vector<long> pids_;
};

}  // namespace kestrelon::test

// Skips the current test, visibly, outside a private network or without the
// reference Client program.
#define KESTRELON_REQUIRE_REFERENCE_CLIENTS()                                                      \
  do {                                                                                            \
    KESTRELON_REQUIRE_PRIVATE_NETWORK();                                                          \
    const wxString reference_program = ::kestrelon::test::ReferenceClients::Program();            \
    if (reference_program.empty() || !wxFileExists(reference_program))                           \
      GTEST_SKIP() << "SKIPPED: the reference Client is not built";                               \
  } while (0)
