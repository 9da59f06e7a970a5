// Which folders count as the user's own for a lock and a socket.
#include "platform/private_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/temp_folder.h"

namespace kestrelon {
namespace {

namespace fs = std::filesystem;

TEST(PrivateFolder, OnlyAFolderOfTheUsersOwnThatNoOneElseWrites) {
  test::TempFolder temp;
  const fs::path mine = temp / "mine";
  fs::create_directory(mine);
  ASSERT_EQ(::chmod(mine.c_str(), 0755), 0);
  EXPECT_TRUE(is_private_folder(mine.string()));

  ASSERT_EQ(::chmod(mine.c_str(), 0777), 0);
  std::string why;
  EXPECT_FALSE(is_private_folder(mine.string(), &why));
  EXPECT_EQ(why, mine.string() + " may be written by other users");
  ASSERT_EQ(::chmod(mine.c_str(), 0700), 0);

  fs::create_directory_symlink(mine, temp / "link");
  EXPECT_FALSE(is_private_folder((temp / "link").string(), &why)) << "a link could point anywhere";
  EXPECT_FALSE(is_private_folder((temp / "missing").string()));

  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(mine.c_str(), 65534, 65534), 0);
    EXPECT_FALSE(is_private_folder(mine.string(), &why));
    EXPECT_EQ(why, mine.string() + " belongs to another user");
  }
}

}  // namespace
}  // namespace kestrelon
