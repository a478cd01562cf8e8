// The whole-table reader of the structure table files, and the tubes the
// chirality finder lists from a table.
#include "formats/structure_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>

#include "converters/table_tubes.hpp"
#include "files/file_errors.hpp"
#include "geometry/lattice.hpp"
#include "test_support.hpp"

namespace {

namespace fs = std::filesystem;

TEST(StructureTableFile, ReadsEveryEntryAndTheGrapheneEnergy) {
  const std::string fixture = (fs::path(TEST_DATA_DIR) / "tables" / "finder_table.dat").string();
  const swnt::StructureTable table = swnt::read_structure_table_file(fixture);
  EXPECT_EQ(table.header.substr(0, 15), "Finder fixture,");
  EXPECT_EQ(table.graphene_energy, -7.3949972517);
  ASSERT_EQ(table.tubes.size(), 4u);
  const swnt::StructureTableTube& t = table.tubes[1];
  EXPECT_EQ(std::make_tuple(t.n, t.m, t.diameter, t.strain_energy, t.atoms, t.vectors.vab[1]),
            std::make_tuple(6, 5, 7.5410824537, 0.1240272786, 364LL, 0.0003809978));
  for (const auto& e : table.tubes) {  // the same entries as the lookup of one finds
    EXPECT_EQ(swnt::read_structure_table(fixture, e.n, e.m).va2, e.vectors.va2);
  }
  EXPECT_THROW(swnt::read_structure_table_file("/nonexistent/table.dat"), swnt::FileError);
  EXPECT_EQ(swnt::graphene_energy_of("x; graphene  -47.15e0 eV/atom)"), -47.15);
  EXPECT_FALSE(swnt::graphene_energy_of("graphene sheet, -7.39 eV/atom"));
}

TEST(StructureTableFile, StopsAtTheFirstIncompleteEntryAndRefusesTooMany) {
  test_support::TempDir dir;
  const std::string entry = "3 2 1 0.5 76 1 1 1 -1 1 0\n";
  const auto count = [&](const std::string& text) {
    test_support::write_file(dir / "t.dat", text);
    return swnt::read_structure_table_file((dir / "t.dat").string()).tubes.size();
  };
  EXPECT_EQ(count("header\n" + entry + entry + "3 3 1 0.5\n"), 2u);
  EXPECT_EQ(count("header\n" + entry + "x " + entry), 1u);
  EXPECT_EQ(count("header\n" + entry + entry.substr(0, entry.size() - 1)), 1u);  // ends at the file's end
  EXPECT_EQ(count("no line end " + entry), 0u);
  std::string many = "header\n";
  for (std::size_t k = 0; k < swnt::kMaxStructureTableTubes; ++k) many += entry;
  EXPECT_EQ(count(many), swnt::kMaxStructureTableTubes);
  EXPECT_THROW(count(many + entry), swnt::Error);
}

TEST(TableTubes, TheShippedTableWithItsOwnFigures) {
  const fs::path path = fs::path(TEST_DATA_DIR) / ".." / ".." / "tables" / "optbre.dat";
  if (!test_support::file_exists(path)) GTEST_SKIP() << "no table optbre.dat";
  const swnt::StructureTable table = swnt::read_structure_table_file(path.string());
  const std::string body = test_support::read_file(path);
  EXPECT_EQ(table.tubes.size(), (std::count(body.begin(), body.end(), '\n') - 1) / 5u);  // five lines an entry
  ASSERT_EQ(table.graphene_energy, -7.3949972517);

  // The default window holds every entry, although relaxed armchair sheets
  // give angles a little beyond 30 degrees.
  const auto tubes = swnt::tubes_of_table(table.tubes, table.graphene_energy, {});
  ASSERT_EQ(tubes.size(), table.tubes.size());
  EXPECT_TRUE(std::is_sorted(tubes.begin(), tubes.end(), [](auto& a, auto& b) { return a.diameter < b.diameter; }));
  for (const auto& e : table.tubes) {
    const auto t = std::find_if(tubes.begin(), tubes.end(), [&](const auto& x) { return x.n == e.n && x.m == e.m; });
    ASSERT_NE(t, tubes.end());
    const auto lattice = swnt::compute_lattice_params(
        e.n, e.m, swnt::table_structure(e.vectors.va1, e.vectors.va2, e.vectors.vab));
    EXPECT_TRUE(t->recorded && !t->energy_is_strain && t->metallic == ((e.n - e.m) % 3 == 0));
    EXPECT_EQ(std::make_tuple(t->energy, t->diameter, t->atoms, t->period, t->angle),
              std::make_tuple(-7.3949972517 + e.strain_energy, e.diameter, e.atoms, lattice.lencell, lattice.chiralangle));
    EXPECT_NEAR(t->gap, t->metallic ? 0.0 : 2 * std::hypot(e.vectors.vab[0], e.vectors.vab[1]) * 2.9 / e.diameter, 1e-12);
  }

  const auto few = swnt::tubes_of_table(table.tubes, std::nullopt, {7, 8, 0, 30, swnt::FinderWindow::Kind::metallic});
  ASSERT_FALSE(few.empty());
  for (const auto& t : few) EXPECT_TRUE(t.metallic && t.diameter >= 7 && t.diameter <= 8 && t.energy_is_strain);
}

}  // namespace
