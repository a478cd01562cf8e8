// The layers of the code depend downward only: the programs (builder/,
// converters/, joiner/, the Python module in python/, and what they share
// in cli/) on the formats and the geometry, those on the file layer, the
// file layer on the core model.  A program includes no other program;
// formats and geometry include nothing of each other, and geometry nothing
// of the file layer either: a tube is made from plain values and becomes
// positions, never a file.  Only the programs print, the Python module not
// at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::map<std::string, int> kLayer = {
    {"core", 0},     {"files", 1},   {"formats", 2},    {"geometry", 2},
    {"cli", 3},      {"builder", 3}, {"converters", 3}, {"joiner", 3},
    {"python", 3},
};

bool is_program(const std::string& dir) { return kLayer.at(dir) == 3; }

// May code in `from` include a header of `to`?
bool may_include(const std::string& from, const std::string& to) {
  if (from == to) return true;
  if (from == "geometry") return to == "core";
  if (is_program(from)) return to == "cli" || !is_program(to);
  return kLayer.at(to) < kLayer.at(from) && !(from == "formats" && to == "geometry");
}

struct Source {
  std::string dir;   // the layer's directory
  std::string path;  // relative to the source tree
  std::string text;
};

std::vector<Source> sources() {
  std::vector<Source> found;
  for (const auto& [dir, layer] : kLayer) {
    const fs::path root = fs::path(SWNT_SOURCE_DIR) / dir;
    for (const auto& entry : fs::directory_iterator(root)) {
      const std::string extension = entry.path().extension().string();
      if (extension != ".cpp" && extension != ".hpp") continue;
      std::ifstream in(entry.path());
      std::ostringstream text;
      text << in.rdbuf();
      found.push_back({dir, dir + "/" + entry.path().filename().string(), text.str()});
    }
  }
  return found;
}

// The project headers a source includes, as "dir/name.hpp".
std::vector<std::string> includes(const std::string& text) {
  static const std::regex include(R"re(#include\s+"([a-z_]+)/[^"]+")re");
  std::vector<std::string> dirs;
  for (std::sregex_iterator it(text.begin(), text.end(), include), end; it != end; ++it) {
    dirs.push_back((*it)[1].str());
  }
  return dirs;
}

TEST(Architecture, EveryLayerHasSources) {
  std::set<std::string> seen;
  for (const Source& source : sources()) seen.insert(source.dir);
  EXPECT_EQ(seen.size(), kLayer.size());
}

TEST(Architecture, IncludesPointDownTheLayersOnly) {
  for (const Source& source : sources()) {
    for (const std::string& dir : includes(source.text)) {
      if (kLayer.count(dir) == 0) {
        ADD_FAILURE() << source.path << " includes a header of " << dir << "/, outside the layers";
      } else {
        EXPECT_TRUE(may_include(source.dir, dir))
            << source.path << " includes a header of " << dir << "/";
      }
    }
  }
}

TEST(Architecture, GeometryNeverSeesTheOptionsOfWrapping) {
  for (const Source& source : sources()) {
    if (source.dir != "geometry") continue;
    EXPECT_EQ(source.text.find("options.hpp"), std::string::npos) << source.path;
    EXPECT_EQ(source.text.find("WrapOptions"), std::string::npos) << source.path;
  }
}

// The text without its line comments, which may well speak of printf.
std::string code_of(const std::string& text) {
  static const std::regex comment(R"re(//[^\n]*)re");
  return std::regex_replace(text, comment, "");
}

TEST(Architecture, OnlyTheProgramsPrint) {
  static const std::regex printing(
      R"re(\bstd::cout\b|\bstdout\b|\bstd::printf\s*\(|[^a-z_]printf\s*\(|\bputs\s*\(|\bputchar\s*\()re");
  for (const Source& source : sources()) {
    if (is_program(source.dir)) continue;
    const std::string code = code_of(source.text);
    std::smatch match;
    EXPECT_FALSE(std::regex_search(code, match, printing))
        << source.path << " prints: " << match.str();
  }
}

// The Python module is a program that never prints either: its warnings go
// through Python's warnings module, its errors are exceptions.
TEST(Architecture, ThePythonModuleNeverPrints) {
  static const std::regex printing(
      R"re(\bstd::cout\b|\bstdout\b|\bstd::printf\s*\(|[^a-z_]printf\s*\(|\bputs\s*\(|\bputchar\s*\(|\bpy::print\s*\(|\bPySys_Write|\bkPrint\b|\bprint_text\s*\()re");
  std::size_t seen = 0;
  for (const Source& source : sources()) {
    if (source.dir != "python") continue;
    ++seen;
    const std::string code = code_of(source.text);
    std::smatch match;
    EXPECT_FALSE(std::regex_search(code, match, printing))
        << source.path << " prints: " << match.str();
  }
  EXPECT_GT(seen, 0u);
}

TEST(Architecture, TheRulesThemselvesCatchAnArrowUpward) {
  EXPECT_FALSE(may_include("core", "files"));
  EXPECT_FALSE(may_include("formats", "geometry"));
  EXPECT_FALSE(may_include("geometry", "files"));
  EXPECT_FALSE(may_include("formats", "builder"));
  EXPECT_FALSE(may_include("converters", "builder"));
  EXPECT_FALSE(may_include("python", "builder"));
  EXPECT_FALSE(may_include("python", "converters"));
  EXPECT_TRUE(may_include("python", "formats"));
  EXPECT_TRUE(may_include("builder", "cli"));
  EXPECT_EQ(includes("#include \"builder/options.hpp\"\n#include <cstdio>\n"),
            std::vector<std::string>{"builder"});
}

}  // namespace
