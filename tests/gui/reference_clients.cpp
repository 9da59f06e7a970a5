#include "reference_clients.h"

#include <cstdlib>

#include <wx/process.h>
#include <wx/utils.h>

#include "support/virtual_disk.h"

namespace kestrelon::test {

namespace {

constexpr const char* kOnePartition = "label: dos\\n,,83\\n";

// A sparse virtual disk of `mb` MiB partitioned by an sfdisk script (in printf's
// notation).
bool MakeDisk(const std::filesystem::path& path, int mb, const std::string& script) {
  const std::string command = "truncate -s " + std::to_string(mb) + "M '" + path.string() + "' && printf '" +
                              script + "' | sfdisk -q '" + path.string() + "' >/dev/null";
  return std::system(command.c_str()) == 0;
}

}  // namespace

wxString ReferenceClients::Program() {
  wxString path;
  if (wxGetEnv("KESTRELON_TEST_CLIENT", &path) && !path.empty()) return path;
#ifdef KESTRELON_TEST_CLIENT
  return KESTRELON_TEST_CLIENT;
#else
  return {};
#endif
}

bool ReferenceClients::Start(const std::filesystem::path& folder, const std::vector<ReferenceMachine>& machines,
                             std::string& error) {
  for (const ReferenceMachine& m : machines) {
    wxString command = Program() + " --name " + m.name + " --address " + m.address;
    for (std::size_t i = 0; i < m.disks_mb.size(); ++i) {
      const auto disk = folder / (m.name + "-" + std::to_string(i) + ".img");
      const bool scripted = i < m.partitionings.size() && !m.partitionings[i].empty();
      bool made = MakeDisk(disk, m.disks_mb[i], scripted ? m.partitionings[i] : kOnePartition);
      // The first partition of an sfdisk-made disk starts at sector 2048.
      if (made && i == 0 && m.random_mb > 0)
        made = fill_region(disk.string(), 2048 * 512, std::uint64_t(m.random_mb) << 20, 7, false);
      if (!made) {
        error = "cannot make the disk " + disk.string();
        return false;
      }
      command += " --disk " + disk.string();
    }
    for (const std::string& option : m.options) command += " " + option;
    const long pid = wxExecute(command, wxEXEC_ASYNC | wxEXEC_MAKE_GROUP_LEADER);
    if (pid <= 0) {
      error = "cannot start " + command.utf8_string();
      return false;
    }
    pids_.push_back(pid);
  }
  return true;
}

void ReferenceClients::Stop(std::size_t index) {
  if (index >= pids_.size() || pids_[index] == 0) return;
  wxKill(pids_[index], wxSIGTERM, nullptr, wxKILL_CHILDREN);
  pids_[index] = 0;
}

ReferenceClients::~ReferenceClients() {
  for (std::size_t i = 0; i < pids_.size(); ++i) Stop(i);
}

}  // namespace kestrelon::test
