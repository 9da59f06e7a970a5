// The program itself as a separate process: a second start raises the first
// one's window and ends; so does a start beside a Controller that already serves
// the network, or with a switch value the command line refuses; an instance
// folder another user made is not used; File > Exit ends a running Controller
// cleanly while Clients keep announcing; File > ClientBuilder gives way to the
// builder's window, or says what to install when the builder is not there.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <wx/frame.h>
#include <wx/process.h>
#include <wx/snglinst.h>
#include <wx/stream.h>
#include <wx/utils.h>

#include "gui_steps.h"
#include "support/controller_parts.h"
#include "support/private_network.h"
#include "support/scripted_announcer.h"
#include "ui/single_instance.h"

namespace kestrelon::test {
namespace {

namespace fs = std::filesystem;

// The program started as a separate process, and what it ended with.
struct Program {
  long pid = 0;
  bool ended = false;
  int exit_code = -1;
  wxProcess* process = nullptr;
  std::string errors;  // standard error, with `capture` set

  bool Start(const wxString& command, wxExecuteEnv* env = nullptr, bool capture = false) {
    process = new wxProcess();
    if (capture) process->Redirect();
    process->Bind(wxEVT_END_PROCESS, [this](wxProcessEvent& e) {
      ReadOutput();
      ended = true;
      exit_code = e.GetExitCode();
      process = nullptr;
    });
    pid = wxExecute(command, wxEXEC_ASYNC, process, env);
    return pid != 0;
  }

  // Takes what the program has written so far; standard output is read too, so
  // its pipe never fills.
  void ReadOutput() {
    if (process == nullptr || !process->IsRedirected()) return;
    char buffer[4096];
    while (process->IsInputAvailable()) process->GetInputStream()->Read(buffer, sizeof buffer);
    while (process->IsErrorAvailable()) {
      process->GetErrorStream()->Read(buffer, sizeof buffer);
      errors.append(buffer, process->GetErrorStream()->LastRead());
    }
  }

  bool ErrorsHold(const std::string& text) {
    ReadOutput();
    return errors.find(text) != std::string::npos;
  }

  // Opens the File menu of the program's main window and chooses the item with
  // `mnemonic`, as a user does with the keyboard.
  bool ChooseFileMenuItem(char mnemonic) const {
    const wxString command = wxString::Format(
        "sh -c 'w=$(xdotool search --sync --onlyvisible --pid %ld --name \"^Kestrelon$\" | head -n 1) && "
        "xdotool windowactivate --sync $w && xdotool key --clearmodifiers alt+f && sleep 0.5 && "
        "xdotool key %c'",
        pid, mnemonic);
    return wxExecute(command, wxEXEC_SYNC) == 0;
  }

  // Presses Return in the program's message box, when that is its only window.
  bool AnswerItsMessage() const {
    const wxString command = wxString::Format(
        "sh -c 'w=$(xdotool search --sync --onlyvisible --pid %ld | head -n 1) && "
        "xdotool windowactivate --sync $w key Return'",
        pid);
    return wxExecute(command, wxEXEC_SYNC) == 0;
  }
};

TEST(SingleInstanceTest, SecondStartRaisesTheFirstWindowAndEnds) {
  const fs::path folder = fs::temp_directory_path() / ("kestrelon-instance-" + std::to_string(::getpid()));
  fs::create_directories(folder);

  auto* frame = new wxFrame(nullptr, wxID_ANY, "Kestrelon", wxPoint(50, 50), wxSize(500, 300));
  frame->Show();
  int raises = 0;
  SingleInstance first(folder.string());
  ASSERT_TRUE(first.Claim([&] {
    ++raises;
    BringWindowForward(frame);
  }));
  ASSERT_TRUE(fs::exists(first.SocketPath().utf8_string()));

  Program second;
  ASSERT_TRUE(RunSteps({Pause(200),
                        {"minimise", [&] {
                           // Asked again until the window manager has done it.
                           if (!frame->IsIconized()) frame->Iconize(true);
                           return frame->IsIconized();
                         }},
                        {"start a second instance", [&] {
                           wxExecuteEnv env;
                           wxGetEnvMap(&env.env);
                           env.env["KESTRELON_INSTANCE_DIR"] = folder.string();
                           return second.Start(KESTRELON_TEST_APP, &env);
                         }},
                        {"first window raised and restored", [&] { return raises == 1 && !frame->IsIconized(); },
                         15000},
                        {"answer the message of the second instance", [&] { return second.AnswerItsMessage(); },
                         15000},
                        {"second instance ended", [&] { return second.ended; }, 15000}}));
  EXPECT_EQ(raises, 1);
  EXPECT_FALSE(frame->IsIconized());
  // Start-up refused: the toolkit ends such a program with its failure code.
  EXPECT_TRUE(second.exit_code == 255 || second.exit_code == -1) << second.exit_code;
  EXPECT_FALSE(wxProcess::Exists(static_cast<int>(second.pid)));
  frame->Destroy();
  first.Release();
  RunSteps({Settle()});
  fs::remove_all(folder);
}

TEST(ProgramTest, AStartBesideAControllerServingTheNetworkShowsTheSingleInstanceMessageAndEnds) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  // Another user's Controller (or kestrelon-cli) on the same network: the lock
  // file, kept per user, does not see it.
  ControllerParts first;
  ASSERT_TRUE(first.endpoints.start_network("", [] { return AddressList{0, {Ipv4Address(127, 0, 0, 1)}}; }));
  const fs::path folder = fs::temp_directory_path() / ("kestrelon-other-user-" + std::to_string(::getpid()));
  fs::create_directories(folder);

  Program second;
  ASSERT_TRUE(RunSteps({{"start beside the running Controller", [&] {
                           wxExecuteEnv env;
                           wxGetEnvMap(&env.env);
                           env.env["KESTRELON_INSTANCE_DIR"] = folder.string();
                           return second.Start(wxString(KESTRELON_TEST_APP) + " --loopback", &env);
                         }},
                        {"answer its message", [&] { return second.AnswerItsMessage(); }, 15000},
                        {"it ended", [&] { return second.ended; }, 15000}}));
  EXPECT_TRUE(second.exit_code == 255 || second.exit_code == -1) << second.exit_code;
  EXPECT_EQ(first.endpoints.open_count(), 1) << "the running Controller keeps its endpoint";
  first.endpoints.close_all();
  fs::remove_all(folder);
}

// The environment with the instance folder at `folder`, so the program started
// meets no other instance.
wxExecuteEnv InstanceEnv(const fs::path& folder) {
  wxExecuteEnv env;
  wxGetEnvMap(&env.env);
  env.env["KESTRELON_INSTANCE_DIR"] = folder.string();
  return env;
}

// "-rt 0" would run copies that cannot work: the window refuses it as the
// command line does, before any network starts.
TEST(ProgramTest, ASwitchValueTheCommandLineRefusesIsShownAndNothingStarts) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  const fs::path folder = fs::temp_directory_path() / ("kestrelon-switches-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  ScriptedAnnouncer announcer(Ipv4Address(127, 0, 0, 1), {});
  wxExecuteEnv env = InstanceEnv(folder);
  Program program;
  ASSERT_TRUE(RunSteps({{"start with -rt 0",
                         [&] { return program.Start(wxString(KESTRELON_TEST_APP) + " -rt 0 --loopback", &env); }},
                        {"answer its message", [&] { return program.AnswerItsMessage(); }, 15000},
                        {"it ended", [&] { return program.ended; }, 15000}}));
  EXPECT_EQ(announcer.discovers_heard(), 0) << "no network was started";
  fs::remove_all(folder);
}

// Another user made the instance folder first and holds the lock in it, posing
// as a running instance: the program runs, and keeps nothing of its own there.
TEST(ProgramTest, AnInstanceFolderOfAnotherUserIsNotTrusted) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  if (::geteuid() != 0) GTEST_SKIP() << "SKIPPED: giving a folder to another user needs root";
  const fs::path folder = fs::temp_directory_path() / ("kestrelon-foreign-" + std::to_string(::getpid()));
  fs::create_directories(folder);
  auto theirs = std::make_unique<wxSingleInstanceChecker>();
  ASSERT_TRUE(theirs->Create(SingleInstance::kLockName, folder.string()));
  ASSERT_EQ(::chown(folder.c_str(), 65534, 65534), 0);
  ScriptedAnnouncer announcer(Ipv4Address(127, 0, 0, 1), {});
  wxExecuteEnv env = InstanceEnv(folder);
  Program program;
  ASSERT_TRUE(program.Start(wxString(KESTRELON_TEST_APP) + " --loopback", &env));
  ASSERT_TRUE(RunSteps({{"the Controller runs", [&] { return announcer.discovers_heard() >= 2; }, 20000}}));
  EXPECT_FALSE(program.ended);
  EXPECT_FALSE(fs::exists(folder / (std::string(SingleInstance::kLockName) + ".socket")));
  wxProcess::Kill(static_cast<int>(program.pid), wxSIGTERM);
  ASSERT_TRUE(RunSteps({{"it ended", [&] { return program.ended; }, 15000}}));
  theirs.reset();  // its lock file goes before the folder does
  fs::remove_all(folder);
}

TEST(ProgramTest, FileExitEndsTheProgramWhileClientsAnnounce) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  AnnounceSpec alpha;
  alpha.address = Ipv4Address(127, 0, 0, 11);
  alpha.name = "Alpha";
  alpha.disks.push_back(make_disk(2047 * 2048, 1));
  ScriptedAnnouncer announcer(Ipv4Address(127, 0, 0, 1), {alpha});
  ASSERT_TRUE(announcer.ok());

  Program program;
  ASSERT_TRUE(program.Start(wxString(KESTRELON_TEST_APP) + " --loopback"));
  std::chrono::steady_clock::time_point exit_asked;
  ASSERT_TRUE(RunSteps({{"the Controller discovers", [&] { return announcer.discovers_heard() >= 3; }, 20000},
                        {"File > Exit", [&] {
                           exit_asked = std::chrono::steady_clock::now();
                           return program.ChooseFileMenuItem('x');
                         },
                         15000},
                        {"the program ended", [&] { return program.ended; }, 15000}}));
  EXPECT_EQ(program.exit_code, 0);
  // Ended, not held by every lock limit in turn (2 s closing wait + 3 x 5 s); that
  // no lock wait runs out at all is shown in-process, where the limits can be long
  // (ClientList.ShutdownWithClientsStillAnnouncingLeavesNoThreadBehind).
  EXPECT_LT(std::chrono::steady_clock::now() - exit_asked, std::chrono::seconds(17));
}

// A copy of the program in a folder of its own, as an installation lays it out:
// `bin/kestrelon`, and beside it what the test puts there.
struct InstalledCopy {
  explicit InstalledCopy(const char* name) : root(fs::temp_directory_path() / (name + std::to_string(::getpid()))) {
    fs::remove_all(root);
    fs::create_directories(root / "bin");
    fs::create_directories(root / "empty");
    fs::copy_file(KESTRELON_TEST_APP, root / "bin" / "kestrelon");
  }
  ~InstalledCopy() { fs::remove_all(root); }
  void Add(const char* from, const char* name) const { fs::copy_file(from, root / "bin" / name); }
  // The environment with a PATH that holds no kestrelon-builder.
  wxExecuteEnv Environment() const {
    wxExecuteEnv env;
    wxGetEnvMap(&env.env);
    env.env["PATH"] = (root / "empty").string();
    return env;
  }
  std::string Command() const { return (root / "bin" / "kestrelon").string() + " --loopback"; }

  fs::path root;
};

// File > ClientBuilder with the builder's window and kestrelon-builder installed
// beside the Controller: the window takes the Controller's process over, with
// its own name as argument 0, and closing it ends that process.
TEST(ProgramTest, ClientBuilderTakesTheProcessOverWithTheBuildersWindow) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  const InstalledCopy installed("kestrelon-builder-present-");
  installed.Add(KESTRELON_TEST_BUILDER_WINDOW, "kestrelon-builder-window");
  installed.Add(KESTRELON_TEST_BUILDER, "kestrelon-builder");
  // Hears the running Controller's discovery requests: the window is up by then.
  ScriptedAnnouncer announcer(Ipv4Address(127, 0, 0, 1), {});

  Program program;
  wxExecuteEnv env = installed.Environment();
  ASSERT_TRUE(program.Start(installed.Command(), &env));
  std::string command_line;
  int heard_at_window = 0;
  int heard_after = 0;
  ASSERT_TRUE(RunSteps({{"the Controller runs", [&] { return announcer.discovers_heard() >= 2; }, 20000},
                        {"File > ClientBuilder", [&] { return program.ChooseFileMenuItem('b'); }, 20000},
                        {"the builder's window shows in the same process",
                         [&] {
                           return wxExecute(wxString::Format("sh -c 'xdotool search --onlyvisible --pid %ld --name "
                                                             "\"^Kestrelon Client Builder$\" >/dev/null'",
                                                             program.pid),
                                            wxEXEC_SYNC) == 0;
                         },
                         20000},
                        Do("read its command line",
                           [&] {
                             heard_at_window = announcer.discovers_heard();
                             std::ifstream in("/proc/" + std::to_string(program.pid) + "/cmdline");
                             std::getline(in, command_line);
                           }),
                        Pause(2500),
                        Do("count the discovery requests", [&] { heard_after = announcer.discovers_heard(); }),
                        {"close it with its Close button", [&] {
                           return wxExecute(wxString::Format("sh -c 'w=$(xdotool search --onlyvisible --pid %ld "
                                                             "--name \"^Kestrelon Client Builder$\" | head -n 1) && "
                                                             "xdotool windowactivate --sync $w key alt+c'",
                                                             program.pid),
                                            wxEXEC_SYNC) == 0;
                         }},
                        {"the process ended", [&] { return program.ended; }, 15000}}));
  EXPECT_EQ(program.exit_code, 0);
  // Argument 0 and nothing after it.
  EXPECT_EQ(command_line, std::string("kestrelon-builder-window") + '\0');
  // The Controller is gone, not hidden: its discovery requests stopped.
  EXPECT_LE(heard_after, heard_at_window + 1);
}

// File > ClientBuilder without kestrelon-builder: a message says what is
// missing and what to install, and the Controller goes on running.
TEST(ProgramTest, ClientBuilderNotInstalledSaysWhatToInstallAndTheControllerGoesOn) {
  if (!loopback_multicast_works()) GTEST_SKIP() << private_network_skip_reason();
  const InstalledCopy installed("kestrelon-builder-missing-");
  installed.Add(KESTRELON_TEST_BUILDER_WINDOW, "kestrelon-builder-window");
  ScriptedAnnouncer announcer(Ipv4Address(127, 0, 0, 1), {});

  Program program;
  wxExecuteEnv env = installed.Environment();
  ASSERT_TRUE(program.Start(installed.Command(), &env, true));
  const std::string message = "kestrelon: The client builder is not installed: kestrelon-builder was not found in " +
                              (installed.root / "bin").string() +
                              "/ and the folders of the PATH.\n\nInstall the package kestrelon-builder, then choose "
                              "File > ClientBuilder again.";
  int heard_at_message = 0;
  ASSERT_TRUE(RunSteps({{"the Controller runs", [&] { return announcer.discovers_heard() >= 2; }, 20000},
                        {"File > ClientBuilder", [&] { return program.ChooseFileMenuItem('b'); }, 20000},
                        {"the message says what to install", [&] { return program.ErrorsHold(message); }, 15000},
                        Pause(500),
                        {"answer the message", [&] {
                           heard_at_message = announcer.discovers_heard();
                           return wxExecute("xdotool key Return", wxEXEC_SYNC) == 0;
                         }},
                        {"the Controller still discovers",
                         [&] {
                           program.ReadOutput();
                           return announcer.discovers_heard() >= heard_at_message + 2;
                         },
                         15000},
                        {"File > Exit", [&] { return program.ChooseFileMenuItem('x'); }, 15000},
                        {"the program ended", [&] { return program.ended; }, 15000}}));
  EXPECT_EQ(program.exit_code, 0) << "the window's File menu answered: the message was closed";
}

}  // namespace
}  // namespace kestrelon::test
