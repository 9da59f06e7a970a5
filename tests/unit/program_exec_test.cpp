// Handing the process over to another program, as the client builder command does.
#include "platform/program_exec.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace kestrelon {
namespace {

namespace fs = std::filesystem;

TEST(ProgramExec, BackslashPathBecomesPlatformPath) {
  EXPECT_EQ(platform_path("..\\krcb\\krcb32.exe"), "../krcb/krcb32.exe");
  const std::string folder = program_folder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(fs::exists(folder));
}

TEST(ProgramExec, NewProgramGetsArgumentZeroTheEnvironmentAndNoInheritedDescriptors) {
  const fs::path dir = fs::temp_directory_path() / ("kestrelon-exec-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path commands = dir / "commands.sh";
  const fs::path out = dir / "out.txt";
  // The shell, started with no argument, reads its commands from standard input
  // and reports its argument 0, argument count, one environment value and how
  // many descriptors a child of it sees.
  std::ofstream(commands) << "echo \"$0 $# $KESTRELON_EXEC_PROBE\" > '" << out.string() << "'\n"
                          << "ls /proc/self/fd | wc -l >> '" << out.string() << "'\n";

  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::setenv("KESTRELON_EXEC_PROBE", "env-kept", 1);
    const int in = ::open(commands.c_str(), O_RDONLY);
    ::dup2(in, 0);
    // Stands for a socket the Controller holds open; it must not reach the builder.
    ::open("/dev/null", O_RDONLY);
    replace_process("/bin/sh", "KRCB32.EXE");
    ::_exit(99);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  std::ifstream in(out);
  std::string first_line;
  int descriptors = 0;
  std::getline(in, first_line);
  in >> descriptors;
  EXPECT_EQ(first_line, "KRCB32.EXE 0 env-kept");
  // Standard input, output and error, and the one `ls` opens to read the folder.
  EXPECT_EQ(descriptors, 4);
  fs::remove_all(dir);
}

TEST(ProgramExec, MissingProgramReturnsAndTheProcessGoesOn) {
  EXPECT_FALSE(can_execute("/nonexistent/krcb/krcb32.exe"));
  EXPECT_FALSE(replace_process("/nonexistent/krcb/krcb32.exe", "KRCB32.EXE"));
}

}  // namespace
}  // namespace kestrelon
