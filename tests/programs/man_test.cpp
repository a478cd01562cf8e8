// The manual pages: each has the sections of a manual and renders without a
// warning, its synopsis is the usage block of the README (so the two cannot
// drift apart), wrapping's page names every option, the commands and the
// parameter file the pages show as examples run, and the GROMACS settings the
// README shows are those of the shipped .mdp file.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace fs = std::filesystem;
using test_support::RunResult;
using test_support::TempDir;

namespace {


std::string manual_of(const std::string& program) {
  return test_support::read_file(fs::path(SWNT_SOURCE_DIR) / "docs/man" / (program + ".1"));
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> words_of(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// The source lines of the section headed `.SH name`, up to the next `.SH`.
std::vector<std::string> section(const std::string& manual, const std::string& name) {
  std::vector<std::string> result;
  bool inside = false;
  for (const std::string& line : lines_of(manual)) {
    if (line.rfind(".SH", 0) == 0) {
      std::string heading = line.substr(3);
      heading.erase(0, heading.find_first_not_of(' '));
      if (heading.size() >= 2 && heading.front() == '"') heading = heading.substr(1, heading.size() - 2);
      inside = heading == name;
    } else if (inside) {
      result.push_back(line);
    }
  }
  return result;
}

// Text with the escapes these pages use resolved: \- \& \fB \fI \fR \fP.
std::string plain(const std::string& roff) {
  std::string text;
  for (std::size_t i = 0; i < roff.size(); ++i) {
    if (roff[i] != '\\' || i + 1 == roff.size()) {
      text += roff[i];
    } else if (roff[i + 1] == '-') {
      text += '-';
      ++i;
    } else if (roff[i + 1] == '&') {
      ++i;
    } else if (roff[i + 1] == 'f' && i + 2 < roff.size()) {
      i += 2;
    } else {
      text += roff[i];
    }
  }
  return text;
}

// The arguments of a macro line: blank-separated, double quotes group.
std::vector<std::string> macro_arguments(const std::string& rest) {
  std::vector<std::string> args;
  std::size_t i = 0;
  while (i < rest.size()) {
    while (i < rest.size() && rest[i] == ' ') ++i;
    if (i == rest.size()) break;
    std::string arg;
    if (rest[i] == '"') {
      for (++i; i < rest.size() && rest[i] != '"'; ++i) arg += rest[i];
      ++i;
    } else {
      for (; i < rest.size() && rest[i] != ' '; ++i) arg += rest[i];
    }
    args.push_back(arg);
  }
  return args;
}

// The synopsis as the reader sees it: one string per output line, font
// macros resolved (.B and .I join their arguments with blanks, the
// alternating ones such as .RI without), blanks collapsed.
std::vector<std::string> synopsis_lines(const std::string& manual) {
  std::vector<std::string> lines{""};
  auto append = [&](const std::string& piece) {
    if (!lines.back().empty()) lines.back() += ' ';
    lines.back() += piece;
  };
  for (const std::string& line : section(manual, "SYNOPSIS")) {
    if (line == ".br" || line == ".PP" || line == ".sp") {
      lines.emplace_back();
      continue;
    }
    if (line.empty() || line[0] != '.') {
      append(plain(line));
      continue;
    }
    const std::string macro = line.substr(1, line.find(' ') - 1);
    const std::vector<std::string> args =
        macro_arguments(line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1));
    std::string piece;
    for (std::size_t k = 0; k < args.size(); ++k) {
      if (macro.size() == 1 && k > 0) piece += ' ';
      piece += plain(args[k]);
    }
    append(piece);
  }
  std::vector<std::string> result;
  for (const std::string& line : lines) {
    std::string joined;
    for (const std::string& word : words_of(line)) joined += (joined.empty() ? "" : " ") + word;
    if (!joined.empty()) result.push_back(joined);
  }
  return result;
}

// The usage block of a program in the README: the indented lines that follow
// its heading "### program".
std::vector<std::string> readme_usage(const std::string& program) {
  const std::vector<std::string> lines =
      lines_of(test_support::read_file(fs::path(SWNT_SOURCE_DIR) / "README.md"));
  std::vector<std::string> usage;
  bool after_heading = false;
  for (const std::string& line : lines) {
    if (line.rfind("#", 0) == 0) {
      if (after_heading) break;
      after_heading = line == "### " + program;
      continue;
    }
    if (!after_heading) continue;
    if (line.rfind("    ", 0) == 0) {
      std::string joined;
      for (const std::string& word : words_of(line)) joined += (joined.empty() ? "" : " ") + word;
      usage.push_back(joined);
    } else if (!usage.empty()) {
      break;
    }
  }
  return usage;
}

// The lines of the example blocks (.EX ... .EE) of a section, escapes resolved.
std::vector<std::vector<std::string>> example_blocks(const std::string& manual,
                                                     const std::string& name) {
  std::vector<std::vector<std::string>> blocks;
  bool inside = false;
  for (const std::string& line : section(manual, name)) {
    if (line == ".EX") {
      blocks.emplace_back();
      inside = true;
    } else if (line == ".EE") {
      inside = false;
    } else if (inside) {
      blocks.back().push_back(plain(line));
    }
  }
  return blocks;
}

TEST(ManualPages, HaveTheSectionsOfAManual) {
  for (const std::string& program : test_support::kProgramNames) {
    const std::string manual = manual_of(program);
    std::string upper;
    for (char c : program) upper += static_cast<char>(c - 'a' + 'A');
    EXPECT_EQ(manual.rfind(".TH " + upper + " 1 ", 0), 0u) << program;
    for (const char* name : {"NAME", "SYNOPSIS", "DESCRIPTION", "FILES", "EXIT STATUS", "EXAMPLES",
                             "SEE ALSO"}) {
      EXPECT_FALSE(section(manual, name).empty()) << program << ": no section " << name;
    }
    const std::vector<std::string> name = section(manual, "NAME");
    EXPECT_EQ(name.front().rfind(program + " \\- ", 0), 0u) << program;
  }
}

TEST(ManualPages, RenderWithoutWarnings) {
  if (test_support::run_program("/bin/sh", {"-c", "command -v groff"}, fs::current_path()).status != 0) {
    GTEST_SKIP() << "groff is not installed (Debian package groff-base)";
  }
  for (const std::string& program : test_support::kProgramNames) {
    const fs::path page = fs::path(SWNT_SOURCE_DIR) / "docs/man" / (program + ".1");
    const RunResult result = test_support::run_program(
        "/bin/sh", {"-c", "groff -ww -man -z \"$1\" 2>&1", "sh", page.string()}, fs::current_path());
    EXPECT_EQ(result.status, 0) << program;
    EXPECT_EQ(result.output, "") << program;
  }
}

TEST(ManualPages, SynopsisIsTheReadmeUsage) {
  for (const std::string& program : test_support::kProgramNames) {
    const std::vector<std::string> usage = readme_usage(program);
    EXPECT_FALSE(usage.empty()) << "README has no usage block under \"### " << program << "\"";
    EXPECT_EQ(synopsis_lines(manual_of(program)), usage) << program;
  }
}

TEST(ManualPages, WrappingNamesEveryOption) {
  const std::string manual = manual_of("wrapping");
  for (const char* option : {"-ax", "-ay", "-az", "-b", "-c", "-d", "-f", "-g", "-l", "-p", "-ra",
                             "-rd", "-sx", "-sy", "-sz", "-t", "-u", "-w", "-xx", "-xt", "-zc",
                             "-zm"}) {
    bool found = false;
    for (const std::string& line : section(manual, "OPTIONS")) {
      if (line.rfind(".TP", 0) == 0) continue;
      for (const std::string& word : words_of(plain(line))) {
        if (word == option || word == std::string(option) + ",") found = true;
      }
    }
    EXPECT_TRUE(found) << option;
  }
}

TEST(ManualPages, ParameterFileExampleRuns) {
  const std::vector<std::vector<std::string>> blocks =
      example_blocks(manual_of("wrapping"), "PARAMETER FILE");
  ASSERT_FALSE(blocks.empty());
  std::string content;
  for (const std::string& line : blocks.front()) content += line + "\n";
  TempDir dir;
  test_support::write_file(dir / "tube.prm", content);
  const RunResult result = test_support::run_program(WRAPPING_EXE, {"tube.prm"}, dir.path());
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("Structural parameters of (8, 4) SWNT\n"), std::string::npos);
  ASSERT_TRUE(test_support::file_exists(dir / "my tube001.xyz"));
  EXPECT_EQ(lines_of(test_support::read_file(dir / "my tube001.xyz"))[1],
            "(8,4) SWNT-XMOL XYZ FORMAT");
}

// The parameter file that topoconv's manual shows is the shipped set: a
// tube written with it equals one written with the default set, but for the
// name in the first line.
TEST(ManualPages, ForceFieldExampleIsTheShippedSet) {
  const std::vector<std::vector<std::string>> blocks =
      example_blocks(manual_of("topoconv"), "FORCE FIELDS");
  ASSERT_FALSE(blocks.empty());
  std::string content;
  for (const std::string& line : blocks.front()) content += line + "\n";
  TempDir dir;
  test_support::write_file(dir / "my.ff", content);
  ASSERT_EQ(test_support::run_program(WRAPPING_EXE, {"10", "0", "-l", "10", "-az", "-f", "t.dat"},
                                      dir.path())
                .status,
            0);
  for (const char* set : {"my.ff", "default"}) {
    const RunResult result = test_support::run_program(
        TOPOCONV_EXE, {"--hydrogenate", "--forcefield", set, "t.dat", std::string(set) + ".data"},
        dir.path());
    EXPECT_EQ(result.status, 0) << result.output;
  }
  std::string mine = test_support::read_file(dir / "my.ff.data");
  const std::size_t name = mine.find("force field my.ff");
  ASSERT_NE(name, std::string::npos);
  mine.replace(name, 17, "force field opls-aa");
  EXPECT_EQ(mine, test_support::read_file(dir / "default.data"));
}

TEST(ManualPages, ExampleCommandsRun) {
  const std::map<std::string, std::string> executables = {
      {"wrapping", "bin/wrapping"}, {"ballconv", BALLCONV_EXE}, {"xyzframes", XYZFRAMES_EXE},
      {"linkframes", LINKFRAMES_EXE}, {"scenejoin", SCENEJOIN_EXE}, {"topoconv", TOPOCONV_EXE},
      {"assemble", ASSEMBLE_EXE}};
  for (const std::string& program : test_support::kProgramNames) {
    // A copy of wrapping with a structure table beside it, as installed.
    TempDir dir;
    fs::create_directory(dir / "bin");
    fs::copy_file(WRAPPING_EXE, dir / "bin/wrapping");
    fs::copy_file(fs::path(TEST_DATA_DIR) / "builder/table.dat", dir / "bin/opttb.dat");
    const std::vector<std::vector<std::string>> blocks =
        example_blocks(manual_of(program), "EXAMPLES");
    EXPECT_FALSE(blocks.empty()) << program;
    for (const std::vector<std::string>& block : blocks) {
      for (const std::string& command : block) {
        std::vector<std::string> words = words_of(command);
        ASSERT_EQ(executables.count(words.front()), 1u) << program << ": " << command;
        std::string executable = executables.at(words.front());
        if (words.front() == "wrapping") executable = (dir / executable).string();
        words.erase(words.begin());
        const RunResult result = test_support::run_program(executable, words, dir.path());
        EXPECT_EQ(result.status, 0) << program << ": " << command << "\n" << result.output;
      }
    }
  }
}

// The settings the README shows after `heading`: the indented lines of the
// block that follows it, blank lines left out.
std::vector<std::string> readme_block_after(const std::string& heading) {
  std::vector<std::string> block;
  bool after = false;
  for (const std::string& line :
       lines_of(test_support::read_file(fs::path(SWNT_SOURCE_DIR) / "README.md"))) {
    if (!after) {
      after = line.rfind(heading, 0) == 0;
    } else if (line.rfind("    ", 0) == 0) {
      block.push_back(line.substr(4));
    } else if (!line.empty() && !block.empty()) {
      break;
    }
  }
  return block;
}

TEST(Readme, GromacsSettingsAreTheShippedMdp) {
  std::vector<std::string> settings;
  for (std::string line : lines_of(test_support::read_file(fs::path(SWNT_SOURCE_DIR) /
                                                          "examples/gromacs/tube.mdp"))) {
    line = line.substr(0, line.find(';'));
    line.erase(line.find_last_not_of(' ') + 1);
    if (!line.empty()) settings.push_back(line);
  }
  EXPECT_FALSE(settings.empty());
  EXPECT_EQ(readme_block_after("The `.mdp` file, its comments left out"), settings);
}

}  // namespace
