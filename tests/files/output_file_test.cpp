#include "files/output_file.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace {

using test_support::TempDir;
using test_support::file_exists;
using test_support::list_dir;
using test_support::read_file;
using test_support::write_file;

using Names = std::vector<std::string>;

TEST(OutputFile, CommitCreatesOrReplacesTheFileAndLeavesNoScratchFile) {
  TempDir dir;
  const std::string target = (dir / "out.pv").string();
  {
    swnt::OutputFile out;
    ASSERT_TRUE(out.open(target));
    out.write("first");
    out.buffer() += " content";
    // Nothing stands under the final name before the commit.
    EXPECT_FALSE(file_exists(target));
    ASSERT_TRUE(out.commit());
  }
  EXPECT_EQ(read_file(target), "first content");
  EXPECT_EQ(list_dir(dir.path()), Names{"out.pv"});

  // Several blocks' worth of data, replacing the earlier file.
  std::string big;
  for (int k = 0; big.size() < (3u << 20) + 123; ++k) big += std::to_string(k) + ' ';
  swnt::OutputFile out;
  ASSERT_TRUE(out.open(target));
  for (std::size_t at = 0; at < big.size(); at += 1000) out.write(big.substr(at, 1000));
  EXPECT_EQ(read_file(target), "first content");
  ASSERT_TRUE(out.commit());
  EXPECT_EQ(read_file(target), big);
  EXPECT_EQ(list_dir(dir.path()), Names{"out.pv"});

  // Large blocks go to the file as they are, in their place among small writes.
  std::string mixed;
  ASSERT_TRUE(out.open(target));
  for (const std::size_t size : {10u, 40000u, 3u, 70000u, 1u}) {
    const std::string piece(size, static_cast<char>('a' + size % 26));
    out.write(piece);
    mixed += piece;
  }
  ASSERT_TRUE(out.commit());
  EXPECT_EQ(read_file(target), mixed);
}

TEST(OutputFile, UncommittedOutputLeavesTheExistingFileUntouched) {
  TempDir dir;
  const std::string target = (dir / "out.pv").string();
  write_file(target, "precious");
  {
    swnt::OutputFile out;
    ASSERT_TRUE(out.open(target));
    out.write(std::string(3u << 20, 'x'));  // some of it already on disk
    out.discard();
  }
  EXPECT_EQ(read_file(target), "precious");
  EXPECT_EQ(list_dir(dir.path()), Names{"out.pv"});
  {
    swnt::OutputFile out;
    ASSERT_TRUE(out.open(target));
    out.write(std::string(3u << 20, 'y'));
  }  // the destructor drops it
  EXPECT_EQ(read_file(target), "precious");
  EXPECT_EQ(list_dir(dir.path()), Names{"out.pv"});
  {
    swnt::OutputFile out;
    ASSERT_TRUE(out.open((dir / "new.pv").string()));
    out.write("abandoned");
  }
  EXPECT_EQ(list_dir(dir.path()), Names{"out.pv"});
}

TEST(OutputFile, SymbolicLinkKeepsPointingAtTheReplacedFile) {
  TempDir dir;
  write_file(dir / "real.pv", "old");
  std::filesystem::create_symlink("real.pv", dir / "link.pv");
  swnt::OutputFile out;
  ASSERT_TRUE(out.open((dir / "link.pv").string()));
  out.write("new");
  ASSERT_TRUE(out.commit());
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.pv"));
  EXPECT_EQ(read_file(dir / "real.pv"), "new");
  EXPECT_EQ(list_dir(dir.path()), (Names{"link.pv", "real.pv"}));
}

TEST(OutputFile, FailuresAreReportedAndTouchNothing) {
  TempDir dir;
  {
    swnt::OutputFile out;
    ASSERT_TRUE(out.open("/dev/full"));
    out.write("cannot go anywhere");
    EXPECT_FALSE(out.commit());
  }
  {
    swnt::OutputFile out;
    ASSERT_TRUE(out.open("/dev/full"));
    out.write(std::string(3u << 20, 'z'));
    EXPECT_FALSE(out.commit());
  }
  {
    swnt::OutputFile out;
    ASSERT_TRUE(out.open("/dev/null"));
    out.write("gone");
    EXPECT_TRUE(out.commit());
  }
  std::filesystem::create_directory(dir / "sub");
  write_file(dir / "sub" / "inside", "kept");
  swnt::OutputFile out;
  EXPECT_FALSE(out.open((dir / "sub").string()));
  EXPECT_FALSE(out.commit());  // nothing open, nothing written
  EXPECT_FALSE(out.open((dir / "missing" / "out.pv").string()));
  EXPECT_EQ(list_dir(dir.path()), Names{"sub"});
  EXPECT_EQ(list_dir(dir / "sub"), Names{"inside"});
}

// The files of one output are put in place together.  A move that fails
// part-way (the third name has become a directory meanwhile) puts back the
// files already moved: the old ones by their own inode and mode, a new name
// removed again.
TEST(OutputFile, FilesCommittedTogetherAreAllNewOrAllAsTheyWere) {
  TempDir dir;
  const Names names{"a.top", "b.gro", "c.itp"};
  const auto open_all = [&](std::vector<swnt::OutputFile>& files) {
    for (std::size_t k = 0; k < files.size(); ++k) {
      ASSERT_TRUE(files[k].open((dir / names[k]).string()));
      files[k].write("new " + names[k]);
    }
  };
  write_file(dir / "a.top", "old a");
  std::filesystem::permissions(dir / "a.top", std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::owner_write);
  struct stat before {};
  ASSERT_EQ(stat((dir / "a.top").c_str(), &before), 0);
  {
    std::vector<swnt::OutputFile> files(3);
    open_all(files);
    std::filesystem::create_directory(dir / "c.itp");
    write_file(dir / "c.itp" / "inside", "kept");
    EXPECT_EQ(swnt::commit_together(files), &files[2]);
  }
  struct stat after {};
  ASSERT_EQ(stat((dir / "a.top").c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  EXPECT_EQ(after.st_mode & 0777, 0600u);
  EXPECT_EQ(read_file(dir / "a.top"), "old a");
  EXPECT_EQ(list_dir(dir.path()), (Names{"a.top", "c.itp"}));
  EXPECT_EQ(list_dir(dir / "c.itp"), Names{"inside"});

  std::filesystem::remove_all(dir / "c.itp");
  {
    std::vector<swnt::OutputFile> files(3);
    open_all(files);
    EXPECT_EQ(swnt::commit_together(files), nullptr);
  }
  EXPECT_EQ(list_dir(dir.path()), names);
  for (const std::string& name : names) EXPECT_EQ(read_file(dir / name), "new " + name);
  ASSERT_EQ(stat((dir / "a.top").c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 0777, 0600u);

  // A close that fails (a full device) leaves every name as it was.
  std::vector<swnt::OutputFile> files(2);
  ASSERT_TRUE(files[0].open((dir / "a.top").string()));
  ASSERT_TRUE(files[1].open("/dev/full"));
  files[0].write("newer");
  files[1].write("lost");
  EXPECT_EQ(swnt::commit_together(files), &files[1]);
  EXPECT_EQ(read_file(dir / "a.top"), "new a.top");
  EXPECT_EQ(list_dir(dir.path()), names);
}

TEST(OutputFile, RemoveIfExists) {
  TempDir dir;
  write_file(dir / "a", "x");
  EXPECT_TRUE(swnt::remove_if_exists((dir / "a").string()));
  EXPECT_FALSE(file_exists(dir / "a"));
  EXPECT_TRUE(swnt::remove_if_exists((dir / "a").string()));
}

}  // namespace
