#include "builder/options.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "test_support.hpp"

namespace {

using swnt::WrapOptions;

// Options as the driver prepares them before parsing.
WrapOptions prepared(const std::string& indir = "") {
  WrapOptions options;
  options.debug = false;
  options.progdir = "/prog/";
  options.optfile = "/prog/opttb.dat";
  options.indir = indir;
  return options;
}

struct Outcome {
  WrapOptions options;
  std::string error;  // the message that ended the run, empty when none
};

Outcome parse(const std::vector<std::string>& args, const std::string& indir = "") {
  Outcome out{prepared(indir), ""};
  std::vector<std::string> full{"wrapping"};
  full.insert(full.end(), args.begin(), args.end());
  try {
    swnt::set_parameters(full, out.options);
  } catch (const swnt::Error& error) {
    out.error = error.what();
  }
  return out;
}

std::string captured(const std::function<void()>& action) {
  testing::internal::CaptureStdout();
  action();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

TEST(Options, ChiralityRules) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
      {{"5", "0"}, ""},
      {{"5", "5"}, ""},
      {{"5", "-2"}, ""},
      {{"10abc", "5.9"}, ""},  // read as (10,5)
      {{"32767", "0"}, ""},    // 2(n^2 + nm + m^2) just fits 32 bits
      {{"0", "5"}, "Error: incorrect chirality=(0,5).\n"},
      {{"3", "5"}, "Error: incorrect chirality=(3,5).\n"},
      {{"x", "5"}, "Error: incorrect chirality=(0,5).\n"},
      {{"32768", "0"}, "Error: incorrect chirality=(32768,0).\n"},
      {{"30000", "1"}, "Error: incorrect chirality=(30000,1).\n"},  // natom beyond 32 bits
      {{"-2000000000", "-2000000000"}, "Error: incorrect chirality=(-2000000000,-2000000000).\n"},
      {{"99999999999", "1"}, "Error: chirality index out of range: <99999999999>\n"},
      {{"10"}, "Error: no chirality (n m) given.\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(parse(c.args).error, c.error) << c.args[0];
  }
  const Outcome ok = parse({"10abc", "5.9"});
  EXPECT_EQ(ok.options.cn, 10);
  EXPECT_EQ(ok.options.cm, 5);
}

TEST(Options, ValuesAndTheirEffects) {
  auto opts = [](std::vector<std::string> args) {
    args.insert(args.begin(), {"10", "5"});
    const Outcome out = parse(args, "dir/");
    EXPECT_EQ(out.error, "") << args[2];
    return out.options;
  };
  EXPECT_EQ(opts({"-sx", "-2.5"}).shiftx, -2.5);  // a negative number is a value
  EXPECT_EQ(opts({"-l", "-30"}).lenunit, 30.0);
  EXPECT_EQ(opts({"-u", "-3"}).lenunit, 3.0);
  EXPECT_EQ(opts({"-w"}).nwrap, 20);
  EXPECT_EQ(opts({"-w", "abc"}).nwrap, 0);
  EXPECT_EQ(opts({"-c", "0"}).lacc, 0.0);
  EXPECT_EQ(opts({"-c", "2", "-c"}).lacc, 1.44);
  EXPECT_EQ(opts({"-ra"}).magaxis, 0.0);
  EXPECT_EQ(opts({"-rd", "2"}).magdiam, 2.0);
  EXPECT_EQ(opts({"-sz", "1e2"}).shiftz, 100.0);
  EXPECT_EQ(opts({"-ay"}).iaxis, 1);
  EXPECT_EQ(opts({"-axis:z"}).iaxis, 2);  // letters between the letter and ':' are ignored
  EXPECT_EQ(opts({"-s:z", "3"}).shiftz, 3.0);
  EXPECT_EQ(opts({"-shift:z", "3"}).shiftz, 3.0);
  EXPECT_EQ(opts({"-XT"}).fchange, 3);
  EXPECT_EQ(opts({"/xt"}).fchange, 3);
  EXPECT_EQ(opts({"-zc"}).fcenter, 0);
  EXPECT_EQ(opts({"-d", "7"}).fprint, 1);  // 7 is consumed silently
  EXPECT_EQ(opts({"-dx"}).fprint, 1);      // a letter that needs no second letter ignores it

  const WrapOptions table = opts({"-b"});
  EXPECT_EQ(table.lacc, -1.0);
  EXPECT_EQ(table.optfile, "/prog/optbre.dat");
  EXPECT_EQ(opts({"-g", "my.dat"}).optfile, "my.dat");
  EXPECT_EQ(opts({"-t", "-c", "1.42"}).lacc, 1.42);  // the later option wins
  EXPECT_EQ(opts({"-c", "1.42", "-t"}).lacc, -1.0);

  // The first output form on the list fixes the default name; -f always wins.
  const WrapOptions pv_then_xyz = opts({"-p", "-xx"});
  EXPECT_EQ(pv_then_xyz.fchange, 2);
  EXPECT_EQ(pv_then_xyz.outfile, "dir/swnt_pos.pv");
  EXPECT_EQ(opts({"-xx", "-p"}).outfile, "dir/swnt_pos.xyz");
  EXPECT_EQ(opts({"-f", "out", "-xx"}).outfile, "out");
  EXPECT_EQ(opts({"-xx", "-f", "out"}).outfile, "out");
}

TEST(Options, ErrorsNameTheOffendingToken) {
  struct Case {
    std::vector<std::string> args;
    std::string error;
  };
  const Case cases[] = {
      {{"-p", "3", "7"}, "Error: incorrect arguments: <7>\n"},
      {{"5"}, "Error: incorrect arguments: <5>\n"},
      {{"-sx", "-.5"}, "Error: Invalid argument (option -.5).\n"},
      {{"-f", "/abs/path"}, "Error: no argument (option -f).\n"},
      {{"-g"}, "Error: no argument (option -g).\n"},
      {{"-l", "-d"}, "Error: no argument (option -l).\n"},
      {{"-a"}, "Error: Invalid argument (option -a).\n"},
      {{"-axis"}, "Error: Invalid argument (option -axis).\n"},
      {{"-q"}, "Error: Invalid argument (option -q).\n"},
      {{"-"}, "Error: Invalid argument (option -).\n"},
      {{"-s:q", "1"}, "Error: Invalid argument (option -s:q).\n"},
      {{"-s:"}, "Error: Invalid argument (option -s:).\n"},
      {{"-x"}, "Error: Invalid argument (option -x).\n"},
      {{"-w", "3000000000"}, "Error: value <3000000000> out of range (option -w).\n"},
      {{"-c", "1e999"}, "Error: value <1e999> out of range (option -c).\n"},
      {{"-sx", "-1e999"}, "Error: value <-1e999> out of range (option -sx).\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{"10", "5"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    EXPECT_EQ(parse(args).error, c.error) << c.args[0];
  }
}

TEST(Options, DebugTrace) {
  const std::string out = captured([] {
    WrapOptions options = prepared();
    options.debug = true;
    swnt::set_parameters({"wrapping", "10", "5", "-XT", "-shift:z", "2", "-d"}, options);
    try {
      swnt::set_option("-", "", options);
    } catch (const swnt::Error&) {
    }
  });
  EXPECT_EQ(out,
            "\nSet parameters.\n"
            " -- chirality = (10,5).\n"
            " -- set Param: <-xt>, <>\n"
            " -- set Param: <-sz>, <2>\n"
            " -- set Param: <-d>, <>\n"
            " -- set Param: <->, <>\n");
}

TEST(Options, OptionReport) {
  const std::string out = captured([] {
    WrapOptions options = prepared();
    options.cn = 8;
    options.cm = 4;
    options.outfile = "tube.pv";
    options.shifty = -2.5;
    options.lenunit = 1.75;
    options.fchange = 1;
    swnt::print_options(options);
  });
  EXPECT_EQ(out,
            "\nOptions are:\n"
            " -- (cn,cm) = (8,4)\n"
            " -- lacc    = 1.440000\n"
            " -- optfile = /prog/opttb.dat\n"
            " -- outfile = tube.pv\n"
            " -- nwrap   = 0\n"
            " -- iaxis   = 0\n"
            " -- magaxis = 1.000000\n"
            " -- magdiam = 1.000000\n"
            " -- shiftx  = 0.000000\n"
            " -- shifty  = -2.500000\n"
            " -- shiftz  = 0.000000\n"
            " -- lenunit = 1.750000\n"
            " -- fprint  = 0\n"
            " -- fcenter = 1\n"
            " -- fchange = 1\n");
}

TEST(Options, DirectoryOf) {
  const std::pair<const char*, const char*> cases[] = {
      {"a/b\\c", "a/"}, {"a\\b/c", "a\\b/"}, {"a\\b\\c", "a\\b\\"}, {"c", ""},
      {"/x", "/"},      {"dir/", "dir/"},    {"", ""},
  };
  for (const auto& [path, directory] : cases) EXPECT_EQ(swnt::directory_of(path), directory) << path;
}

TEST(ParameterFile, TokensFromCommasCommentsAndLineEnds) {
  test_support::TempDir dir;
  const auto path = dir / "params.txt";
  test_support::write_file(path, "10,10\n-w  5 -p\n# a comment -c 1.2\n");
  const std::vector<std::string> expected{"prog", "10", "10", "-w", "5", "-p"};
  EXPECT_EQ(swnt::tokenize_parameter_file(path.string(), "prog"), expected);
}

TEST(ParameterFile, QuotesCommentsAndOddBytes) {
  test_support::TempDir dir;
  const auto path = dir / "params.txt";
  std::string text = "10,,10 -f \"my file.dat\"  \"\" tok#glued, \"not a token\n";
  text += "-sx\r\n";                                  // CR LF is a line end
  text += "a\rb\tc\r";                                 // other CR and tab are ordinary bytes
  text += " d\xC3\xA9" "e f\x81 g";                    // high-bit byte dropped with the next one
  text += " \"q\"x \"#,\n\" ab ";                       // quotes end the token before them
  text += std::string("n\0ul", 4);                     // a zero byte ends a token's text
  text += "\n#" + std::string(300, 'x') + " -d\nlast";  // long comment, no final line end
  test_support::write_file(path, text);
  const std::vector<std::string> expected{
      "prog", "10", "10", "-f", "my file.dat", "", "tok", "-sx", "a\rb\tc\r", "de", "fg",
      "q",    "x",  "#,\n", "ab", "n", "last"};
  EXPECT_EQ(swnt::tokenize_parameter_file(path.string(), "prog"), expected);
}

TEST(ParameterFile, RefusedFiles) {
  test_support::TempDir dir;
  auto error_of = [&](const std::string& name, const char* content) {
    const auto path = dir / name;
    if (content != nullptr) test_support::write_file(path, content);
    WrapOptions options = prepared();
    try {
      swnt::read_parameter_file("prog", path.string(), options);
    } catch (const swnt::Error& error) {
      return std::string(error.what()) + std::to_string(error.status());
    }
    return std::string("no error");
  };
  const std::string base = dir.path().string() + "/";
  EXPECT_EQ(error_of("missing.txt", nullptr), "Error: file access failed for <" + base + "missing.txt>\n1");
  EXPECT_EQ(error_of("", nullptr), "Error: file access failed for <" + base + ">\n1");  // a directory
  EXPECT_EQ(error_of("empty.txt", ""), "Error: no chirality (n m) in file <" + base + "empty.txt>\n1");
  EXPECT_EQ(error_of("one.txt", "10 # 10\n"), "Error: no chirality (n m) in file <" + base + "one.txt>\n1");
  EXPECT_EQ(error_of("quote.txt", "10 10 -f \"open"),
            "Error: unterminated quoted token in file <" + base + "quote.txt>\n1");
  EXPECT_EQ(error_of("bad.txt", "10 12"), "Error: incorrect chirality=(10,12).\n1");
}

TEST(ParameterFile, DebugTraceAndQuotedValue) {
  test_support::TempDir dir;
  test_support::write_file(dir / "p.txt", "10 5 -f \"my tube.dat\"\n");
  WrapOptions options;
  const std::string out = captured([&] {
    options = prepared();
    options.debug = true;
    swnt::read_parameter_file("prog", (dir / "p.txt").string(), options);
  });
  EXPECT_EQ(options.outfile, "my tube.dat");
  EXPECT_EQ(out, "\nRead parameters from file <" + (dir / "p.txt").string() + ">.\n"
                 " -- Token: <prog>\n -- Token: <10>\n -- Token: <5>\n -- Token: <-f>\n"
                 " -- Token: <my tube.dat>\n"
                 "\nSet parameters.\n -- chirality = (10,5).\n"
                 " -- set Param: <-f>, <my tube.dat>\n");
}

}  // namespace
