// What the program checks as it starts, as a separate process: switch values the
// command line would refuse, and an instance folder that another user made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include <wx/process.h>
#include <wx/snglinst.h>
#include <wx/utils.h>

#include "gui_steps.h"
#include "support/private_network.h"
#include "support/scripted_announcer.h"
#include "ui/single_instance.h"

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;

struct Started {
  long pid = 0;
  bool ended = false;

  bool Start(const wxString& arguments, const fs::path& instance_folder) {
    auto* process = new wxProcess();
    process->Bind(wxEVT_END_PROCESS, [this](wxProcessEvent&) { ended = true; });
    wxExecuteEnv env;
    wxGetEnvMap(&env.env);
    env.env["KESTRELON_INSTANCE_DIR"] = instance_folder.string();
    pid = wxExecute(wxString(KESTRELON_TEST_APP) + " " + arguments, wxEXEC_ASYNC, process, &env);
    return pid != 0;
  }
  // Presses Return in the program's first visible window: its message box.
  bool AnswerItsMessage() const {
    return wxExecute(wxString::Format("sh -c 'w=$(xdotool search --sync --onlyvisible --pid %ld | head -n 1) && "
                                      "xdotool windowactivate --sync $w key Return'",
                                      pid),
                     wxEXEC_SYNC) == 0;
  }
  void End() const {
    if (!ended) wxProcess::Kill(static_cast<int>(pid), wxSIGTERM);
  }
};

fs::path fresh_folder(const std::string& name) {
  const fs::path folder = fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder;
}

TEST(ProgramStartTest, ASwitchValueTheCommandLineRefusesIsShownAndNothingStarts) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  ScriptedAnnouncer announcer(Ipv4Address(127, 0, 0, 1), {});
  const fs::path folder = fresh_folder("kestrelon-switches");
  Started program;
  ASSERT_TRUE(RunSteps({{"start with -rt 0", [&] { return program.Start("-rt 0 --loopback", folder); }},
                        {"answer its message", [&] { return program.AnswerItsMessage(); }, 15000},
                        {"it ended", [&] { return program.ended; }, 15000}}));
  EXPECT_EQ(announcer.discovers_heard(), 0) << "no network was started";
  program.End();
  fs::remove_all(folder);
}

TEST(ProgramStartTest, AnInstanceFolderOfAnotherUserIsNotTrusted) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  if (::geteuid() != 0) GTEST_SKIP() << "SKIPPED: giving a folder to another user needs root";
  // Another user made the folder first and holds the lock in it, posing as a
  // running instance.
  const fs::path folder = fresh_folder("kestrelon-foreign");
  auto theirs = std::make_unique<wxSingleInstanceChecker>();
  ASSERT_TRUE(theirs->Create(SingleInstance::kLockName, folder.string()));
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);

  ScriptedAnnouncer announcer(Ipv4Address(127, 0, 0, 1), {});
  Started program;
  ASSERT_TRUE(RunSteps({{"start", [&] { return program.Start("--loopback", folder); }},
                        {"the Controller runs and discovers", [&] { return announcer.discovers_heard() >= 2; },
                         20000}}));
  EXPECT_FALSE(program.ended);
  fs::path socket = folder / SingleInstance::kLockName;
  socket += ".socket";
  EXPECT_FALSE(fs::exists(socket)) << "nothing of the program's in a folder it does not own";
  program.End();
  ASSERT_TRUE(RunSteps({{"it ended", [&] { return program.ended; }, 15000}}));
  theirs.reset();  // its lock file goes before the folder does
  fs::remove_all(folder);
}

}  // namespace
}  // namespace kestrelon::test
