// The groups file "kestreln.ini": its operations, and that other INI readers read
// what it writes.
#include "app/profile_store.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <cstdio>
#include <fstream>

#include "app/text_file.h"
#include "support/temp_folder.h"

namespace kestrelon {
namespace {

class ProfileTest : public ::testing::Test {
 protected:
  void write_file(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
  std::string file_text() const { return read_text_file(file).value_or("<missing>"); }

  test::TempFolder temp;
  std::filesystem::path file = temp / "kestreln.ini";
  ProfileStore profile{file};
};

TEST_F(ProfileTest, MissingFileReadsAsEmpty) {
  std::vector<std::string> v;
  profile.list_sections(v);
  profile.read_list("Lab A", v);
  EXPECT_TRUE(v.empty());
  EXPECT_EQ(profile.read_value("Lab A", "0"), "");
}

TEST_F(ProfileTest, ListStopsAtTheFirstMissingOrEmptyKey) {
  write_file("[G]\n0=first\n1=second\n3=fourth\n[H]\n0=a\n1=\n2=c\n");
  std::vector<std::string> v;
  profile.read_list("G", v);
  EXPECT_EQ(v, (std::vector<std::string>{"first", "second"}));
  v.clear();
  profile.read_list("h", v);
  EXPECT_EQ(v, (std::vector<std::string>{"a"}));
}

TEST_F(ProfileTest, SectionsInFileOrderAndLookupWithoutCase) {
  write_file("[Zeta]\n0=z\n[alpha]\n0=a\n[Lab A]\n0=l\n");
  std::vector<std::string> v{"kept"};
  profile.list_sections(v);
  EXPECT_EQ(v, (std::vector<std::string>{"kept", "Zeta", "alpha", "Lab A"}));
  EXPECT_EQ(profile.read_value("LAB a", "0"), "l");
  ASSERT_TRUE(profile.write_value("ALPHA", "1", "b"));
  EXPECT_EQ(file_text(), "[Zeta]\n0=z\n[alpha]\n0=a\n1=b\n[Lab A]\n0=l\n");
}

TEST_F(ProfileTest, GroupRoundTripsUnchanged) {
  ASSERT_TRUE(profile.write_value("Lab A", "0", "PC-01,192.168.001.020,2,0,2047"));
  ASSERT_TRUE(profile.write_value("Lab A", "1", "PC 02 ,192.168.001.021,1,0,100"));
  EXPECT_EQ(profile.read_value("Lab A", "0"), "PC-01,192.168.001.020,2,0,2047");
  EXPECT_EQ(file_text(), "[Lab A]\n0=PC-01,192.168.001.020,2,0,2047\n1=PC 02 ,192.168.001.021,1,0,100\n");
}

TEST_F(ProfileTest, AnIndependentIniReaderReadsTheSameValues) {
  ASSERT_TRUE(profile.write_value("Lab A", "0", "PC-01,192.168.001.020,2,0,2047"));
  ASSERT_TRUE(profile.write_value("Lab A", "1", "PC-02,192.168.001.021,1,0,100"));
  ASSERT_TRUE(profile.write_value("Room 2", "0", "Front desk,010.000.000.005,1,0,9"));
  const std::string script =
      "import configparser,sys\n"
      "c=configparser.ConfigParser(interpolation=None,strict=True)\n"
      "c.read(sys.argv[1],encoding='utf-8')\n"
      "for s in c.sections():\n"
      "  for k,v in c.items(s): print(s+'|'+k+'|'+v)\n";
  const std::filesystem::path script_file = temp / "read.py";
  { std::ofstream(script_file) << script; }
  const std::string command = "python3 '" + script_file.string() + "' '" + file.string() + "'";
  FILE* pipe = ::popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, pipe)) out += buf;
  ASSERT_EQ(::pclose(pipe), 0) << "python3 with configparser is needed (scripts/deps.sh)";
  EXPECT_EQ(out,
            "Lab A|0|PC-01,192.168.001.020,2,0,2047\n"
            "Lab A|1|PC-02,192.168.001.021,1,0,100\n"
            "Room 2|0|Front desk,010.000.000.005,1,0,9\n");
}

TEST_F(ProfileTest, NullKeyOrValueDoesNothing) {
  EXPECT_FALSE(profile.write_value("G", std::nullopt, "v"));
  EXPECT_FALSE(profile.write_value("G", "0", std::nullopt));
  EXPECT_FALSE(std::filesystem::exists(file));
}

TEST_F(ProfileTest, NamesTheFileCannotHoldAreRefusedAndTheFileKept) {
  write_file("[G]\n0=a\n");
  EXPECT_FALSE(profile.write_value("bad]name", "0", "v"));
  EXPECT_FALSE(profile.write_value("G", "0", "line\nbreak"));
  EXPECT_EQ(file_text(), "[G]\n0=a\n");
}

TEST_F(ProfileTest, DeleteSection) {
  write_file("; saved groups\n[A]\n0=a\n[B]\n0=b\n");
  EXPECT_TRUE(profile.delete_section("a"));
  EXPECT_EQ(file_text(), "; saved groups\n[B]\n0=b\n");
  EXPECT_TRUE(profile.delete_section("never there"));
  EXPECT_EQ(file_text(), "; saved groups\n[B]\n0=b\n");
}

TEST_F(ProfileTest, LongValuesAreCutTo1023Bytes) {
  ASSERT_TRUE(profile.write_value("G", "0", std::string(2000, 'x')));
  EXPECT_EQ(profile.read_value("G", "0").size(), 1023u);
  EXPECT_NE(file_text().find(std::string(2000, 'x')), std::string::npos);  // the file keeps it whole
}

TEST_F(ProfileTest, FailedWriteLeavesTheFileAsItWas) {
  write_file("[G]\n0=a\n");
  // A file size limit stands in for a full disk, for root as for anyone.
  struct rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = profile.write_value("G", "1", std::string(500, 'b'));
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(written);
  EXPECT_EQ(file_text(), "[G]\n0=a\n");
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(temp.path())) ++entries;
  EXPECT_EQ(entries, 1);  // the temporary file is gone too
}

TEST_F(ProfileTest, RewriteKeepsPermissionsAndLeavesNoTemporaryFile) {
  write_file("[G]\n0=a\n");
  ::chmod(file.c_str(), 0600);
  ASSERT_TRUE(profile.write_value("G", "1", "b"));
  struct stat st{};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  int entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(temp.path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST_F(ProfileTest, WritesThroughASymbolicLink) {
  const std::filesystem::path real = temp / "real.ini";
  { std::ofstream(real) << "[G]\n0=a\n"; }
  std::filesystem::create_symlink(real, file);
  ASSERT_TRUE(profile.write_value("G", "1", "b"));
  EXPECT_TRUE(std::filesystem::is_symlink(file));
  EXPECT_EQ(read_text_file(real).value_or(""), "[G]\n0=a\n1=b\n");
}

TEST(ProfilePath, BesideTheSettingsUnlessTheProgramFolderHasOneOrTheEnvironmentNamesOne) {
  test::TempFolder temp;
  const std::filesystem::path program = temp / "bin";
  const std::filesystem::path settings = temp / "config";
  std::filesystem::create_directories(program);
  // An installed program's folder holds no groups file: the user's folder does.
  EXPECT_EQ(ProfileStore::locate("", program, settings), settings / "kestreln.ini");
  // A portable installation, or a file carried over, keeps its file beside the program.
  { std::ofstream(program / "kestreln.ini") << "[Lab A]\n"; }
  EXPECT_EQ(ProfileStore::locate("", program, settings), program / "kestreln.ini");
  EXPECT_EQ(ProfileStore::locate("/tmp/groups.ini", program, settings), "/tmp/groups.ini");
  // Without a home folder there is no settings folder either.
  std::filesystem::remove(program / "kestreln.ini");
  EXPECT_EQ(ProfileStore::locate("", program, ""), program / "kestreln.ini");
}

TEST(ProfilePath, TheEnvironmentNamesAnotherFile) {
  const char* saved = std::getenv("KESTRELON_PROFILE");
  const std::string saved_value = saved ? saved : "";
  setenv("KESTRELON_PROFILE", "/tmp/groups.ini", 1);
  EXPECT_EQ(ProfileStore::default_path("/home/x/.config/kestrelon"), "/tmp/groups.ini");
  unsetenv("KESTRELON_PROFILE");
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe").parent_path();
  if (!std::filesystem::exists(program / "kestreln.ini")) {
    EXPECT_EQ(ProfileStore::default_path("/home/x/.config/kestrelon"), "/home/x/.config/kestrelon/kestreln.ini");
  }
  if (saved) setenv("KESTRELON_PROFILE", saved_value.c_str(), 1);
}

}  // namespace
}  // namespace kestrelon
