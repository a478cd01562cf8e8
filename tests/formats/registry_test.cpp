// The registry of formats: every format declared once with its name,
// extensions and capabilities, found by name and by a file's extension.
#include "formats/registry.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

namespace {

TEST(Registry, EveryFormatIsDeclaredOnceAndWrittenOneWay) {
  std::set<std::string_view> names;
  for (const swnt::Format* format : swnt::registered_formats()) {
    EXPECT_TRUE(names.insert(format->name).second) << format->name;
    EXPECT_EQ(swnt::find_format(format->name), format);
    EXPECT_FALSE(format->convert != nullptr && format->frame_writer != nullptr) << format->name;
    for (const std::string_view extension : format->extensions) {
      EXPECT_EQ(extension.front(), '.') << format->name;
      EXPECT_EQ(swnt::lower_case(std::string(extension)), extension) << format->name;
    }
    // A further file of an output never takes the output's own name.
    for (const std::string_view companion : format->companions) {
      EXPECT_EQ(companion.front(), '.') << format->name;
      EXPECT_EQ(std::count(format->extensions.begin(), format->extensions.end(), companion), 0);
    }
  }
  EXPECT_EQ(swnt::find_format("gro"), nullptr);
}

TEST(Registry, TheExtensionChoosesAmongTheFormatsAsked) {
  const auto named = [](const std::string& path) {
    const swnt::Format* format = swnt::format_of_file(path, swnt::writes_frames);
    return format == nullptr ? std::string("none") : std::string(format->name);
  };
  EXPECT_EQ(named("tube.data"), "lammps");
  EXPECT_EQ(named("run.1/TUBE.LMP"), "lammps");
  EXPECT_EQ(named("tube.xyz"), "extxyz");  // XMOL and TINKER are not frame writers
  EXPECT_EQ(named("a.pdb"), "pdb");
  EXPECT_EQ(named("a.pdb/tube"), "none");
  EXPECT_EQ(named("tube.pv"), "none");
  EXPECT_EQ(named("tube.top"), "gromacs");
  EXPECT_EQ(named("tube.gro"), "none");  // the coordinates of a GROMACS output
  EXPECT_EQ(swnt::format_names(swnt::writes_frames), "lammps, extxyz, pdb, gromacs or psf");
  EXPECT_EQ(swnt::format_extensions(swnt::writes_frames), ".data or .lmp, .extxyz or .xyz, .pdb, .top, .psf");
  const auto converts = [](const swnt::Format& format) { return format.convert != nullptr; };
  EXPECT_EQ(swnt::format_names(converts, "|", "|"), "pv|xmol|tinker");
}

}  // namespace
