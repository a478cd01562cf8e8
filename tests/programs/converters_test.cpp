// The three converter programs, run as built.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.hpp"

namespace {

using test_support::read_file;
using test_support::run_program;
using test_support::TempDir;
using test_support::write_file;
using Files = std::vector<std::string>;

const std::string kData = std::string(TEST_DATA_DIR) + "/xyz/";

// A directory holding the builder-layout fixture as "in.dat" and an older
// "out.pv" that failed runs must leave alone.
struct Workspace {
  TempDir dir;
  Workspace() {
    std::filesystem::copy_file(kData + "tube_builder.dat", dir / "in.dat");
    write_file(dir / "out.pv", "old");
  }
};

TEST(Converters, ArgumentErrorsTouchNoFile) {
  const std::string two = "Error: two arguments are required.\n";
  const std::string two_or_three = "Error: two or three arguments are required.\n";
  const struct {
    std::string program;
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {XYZFRAMES_EXE, {}, two},
      {XYZFRAMES_EXE, {"in.dat"}, two},
      {XYZFRAMES_EXE, {"in.dat", "x.xyz", "extra"}, two},
      {LINKFRAMES_EXE, {"in.dat"}, two},
      {LINKFRAMES_EXE, {"in.dat", "t.xyz", "extra"}, two},
      {BALLCONV_EXE, {}, two_or_three},
      {BALLCONV_EXE, {"in.dat"}, two_or_three},
      {BALLCONV_EXE, {"in.dat", "out.pv", "c", "extra"}, two_or_three},
      {BALLCONV_EXE, {"in.dat", "out.pv", "x"}, "Error: Invalid argument <x>. \n"},
      {BALLCONV_EXE, {"in.dat", "out.pv", "xm"}, "Error: Invalid argument <xm>. \n"},
      {BALLCONV_EXE, {"in.dat", "out.pv", ""}, "Error: Invalid argument <>. \n"},
  };
  for (const auto& c : cases) {
    Workspace work;
    const auto result = run_program(c.program, c.args, work.dir.path());
    EXPECT_EQ(result.status, 1) << c.program;
    EXPECT_EQ(result.output, c.message) << c.program;
    EXPECT_EQ(test_support::list_dir(work.dir.path()), (Files{"in.dat", "out.pv"}));
    EXPECT_EQ(read_file(work.dir / "out.pv"), "old");
  }
}

TEST(Converters, BallconvModeCountsOnlyItsFirstCharacter) {
  Workspace work;
  const auto convert = [&](std::vector<std::string> mode) {
    std::vector<std::string> args = {"in.dat", "out.pv"};
    args.insert(args.end(), mode.begin(), mode.end());
    const auto result = run_program(BALLCONV_EXE, args, work.dir.path());
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.output, "");
    return read_file(work.dir / "out.pv");
  };
  const std::string as_is = convert({});
  const std::string centred = convert({"c"});
  EXPECT_NE(as_is, "old");
  EXPECT_NE(as_is, centred);  // the box is 20 x 20 x 15.5, so centring moves the atoms
  EXPECT_EQ(convert({"m"}), as_is);
  EXPECT_EQ(convert({"Move"}), as_is);
  EXPECT_EQ(convert({"C"}), centred);
  EXPECT_EQ(convert({"centre"}), centred);
}

TEST(Converters, XyzProgramsWriteTitledSceneFilesSilently) {
  Workspace work;
  auto result = run_program(XYZFRAMES_EXE, {"in.dat", "tube.xyz"}, work.dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(read_file(work.dir / "tube001.xyz"), read_file(kData + "tube001.xmol.expected"));
  EXPECT_EQ(read_file(work.dir / "tube002.xyz"), read_file(kData + "tube002.xmol.expected"));

  result = run_program(LINKFRAMES_EXE, {"in.dat", "link"}, work.dir.path());
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "");
  EXPECT_EQ(read_file(work.dir / "link001.xyz"), read_file(kData + "tube001.tinker.expected"));
  EXPECT_EQ(read_file(work.dir / "link002.xyz"), read_file(kData + "tube002.tinker.expected"));
}

TEST(Converters, FailedConversionsEndWithStatusOne) {
  Workspace work;
  write_file(work.dir / "short.dat", "0 2 1\n1 1 1\n0 0\n0 0 0\n");
  for (const std::string program : {XYZFRAMES_EXE, LINKFRAMES_EXE, BALLCONV_EXE}) {
    auto result = run_program(program, {"missing.dat", "out.pv"}, work.dir.path());
    EXPECT_EQ(result.status, 1) << program;
    EXPECT_EQ(result.output, "Error: file access failed for missing.dat\n") << program;

    result = run_program(program, {"short.dat", "out.pv"}, work.dir.path());
    EXPECT_EQ(result.status, 1) << program;
    EXPECT_EQ(result.output.rfind("Error: ", 0), 0u) << program;
    EXPECT_EQ(test_support::list_dir(work.dir.path()), (Files{"in.dat", "out.pv", "short.dat"}));
    EXPECT_EQ(read_file(work.dir / "out.pv"), "old");
  }
}

}  // namespace
