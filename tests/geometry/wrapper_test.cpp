#include "builder/tube_writer.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/text_format.hpp"
#include "test_support.hpp"

namespace {

using test_support::TempDir;
using Point = std::array<double, 3>;

struct Tube {
  swnt::StructureParams structure = swnt::cylindrical_structure(1.44);
  swnt::LatticeParams lattice;
  std::vector<swnt::CellAtom> cells;
};

Tube make_tube(int n, int m) {
  Tube tube;
  tube.lattice = swnt::compute_lattice_params(n, m, tube.structure);
  tube.cells = swnt::build_unit_cell(n, m);
  return tube;
}

swnt::WrapOptions length(double lenunit) {
  swnt::WrapOptions options;
  options.lenunit = lenunit;
  return options;
}

// The written lines, and the atom lines read back as numbers.
struct Written {
  std::vector<std::string> lines;
  std::vector<Point> atoms;
};

Written write_tube(const TempDir& dir, const Tube& tube, const swnt::WrapOptions& options) {
  const std::string path = (dir / "tube.wrp").string();
  swnt::OutputFile file;
  swnt::write_wrapped_tube(file, path, tube.cells, tube.structure, tube.lattice, options);
  EXPECT_TRUE(file.commit());
  Written w;
  std::istringstream in(test_support::read_file(path));
  for (std::string line; std::getline(in, line);) w.lines.push_back(line);
  for (std::size_t i = 3; i < w.lines.size(); ++i) {
    Point p{};
    std::sscanf(w.lines[i].c_str(), "%lf %lf %lf", &p[0], &p[1], &p[2]);
    w.atoms.push_back(p);
  }
  return w;
}

TEST(Wrapper, WorkedExamplesDigitForDigit) {
  TempDir dir;
  const Tube armchair = make_tube(5, 5);
  Written w = write_tube(dir, armchair, length(2.0));
  ASSERT_EQ(w.lines.size(), 43u);
  EXPECT_EQ(w.lines[0], "0 40 1");
  EXPECT_EQ(w.lines[1], "4.988306  27.501974  27.501974");
  EXPECT_EQ(w.lines[2], "0.0  0.0");
  EXPECT_EQ(w.lines[3], "     -2.494153        0.000000       -3.437747  ");
  // Within 1e-8 of a whole number is whole; 2.5 cells take all of the third copy.
  for (const double lenunit : {2.0 + 5e-9, 2.0 - 5e-9}) {
    EXPECT_EQ(write_tube(dir, armchair, length(lenunit)).atoms.size(), 40u);
  }
  EXPECT_EQ(write_tube(dir, armchair, length(2.5)).lines[0], "0 60 1");
  EXPECT_EQ(write_tube(dir, armchair, length(0.0)).lines,
            (std::vector<std::string>{"0 0 1", "0.000000  27.501974  27.501974", "0.0  0.0"}));

  // The default 20 Angstrom on a zigzag tube: open ends.
  const Tube zigzag = make_tube(10, 0);
  w = write_tube(dir, zigzag, length(-20.0 / -zigzag.lattice.lencell));
  EXPECT_EQ(w.lines.size(), 193u);
  EXPECT_EQ(w.lines[0], "0 190 1");
  EXPECT_EQ(w.lines[1], "20.000000  31.756544  31.756544");
}

// Neighbours within the bond cut-off, periodic along x with the given period.
int neighbours(const std::vector<Point>& atoms, std::size_t i, double period) {
  int count = 0;
  for (std::size_t j = 0; j < atoms.size(); ++j) {
    double dx = atoms[i][0] - atoms[j][0];
    dx -= std::round(dx / period) * period;
    const double dy = atoms[i][1] - atoms[j][1];
    const double dz = atoms[i][2] - atoms[j][2];
    if (j != i && dx * dx + dy * dy + dz * dz < 1.8 * 1.8) ++count;
  }
  return count;
}

TEST(Wrapper, ClosedTubeIsACylinderOfBondedAtoms) {
  TempDir dir;
  for (const auto& [n, m] : std::vector<std::pair<int, int>>{{5, 5}, {10, 0}, {8, 4}}) {
    SCOPED_TRACE(std::to_string(n) + "," + std::to_string(m));
    const Tube tube = make_tube(n, m);
    for (const double lenunit : {3.0, 2.7}) {
      const Written w = write_tube(dir, tube, length(lenunit));
      const double lt = lenunit * tube.lattice.lencell;
      EXPECT_EQ(w.lines[0], "0 " + std::to_string(w.atoms.size()) + " 1");
      for (std::size_t i = 0; i < w.atoms.size(); ++i) {
        EXPECT_NEAR(std::hypot(w.atoms[i][1], w.atoms[i][2]), tube.lattice.diameter / 2, 2e-6);
        EXPECT_LE(std::fabs(w.atoms[i][0]), lt / 2 + 1e-6);
        // A whole length is periodic: every atom has its three bonds.
        if (lenunit == 3.0) {
          EXPECT_EQ(neighbours(w.atoms, i, lt), 3) << "atom " << i;
        }
      }
    }
  }
}

TEST(Wrapper, AnimationRollsTheFlatSheetIntoTheTube) {
  TempDir dir;
  const Tube tube = make_tube(8, 4);
  const Written closed = write_tube(dir, tube, length(1.5));
  swnt::WrapOptions options = length(1.5);
  options.nwrap = 4;
  const Written rolled = write_tube(dir, tube, options);
  const std::size_t count = closed.atoms.size();
  EXPECT_EQ(rolled.lines[0], "0 " + std::to_string(count) + " 5");
  ASSERT_EQ(rolled.atoms.size(), 5 * count);
  EXPECT_TRUE(std::equal(closed.lines.begin() + 3, closed.lines.end(), rolled.lines.end() - count));

  const double r = tube.lattice.diameter / 2;
  for (std::size_t i = 0; i < count; ++i) {
    // Scene 0: the flat sheet at -R, centred on the lattice origin, seam opposite.
    EXPECT_NEAR(rolled.atoms[i][2], -r, 1e-6);
    EXPECT_LE(std::fabs(rolled.atoms[i][1]), tube.lattice.lench / 2 + 1e-6);
    // Scene 2, half rolled: an arc of radius 2R touching the sheet's plane.
    const Point& p = rolled.atoms[2 * count + i];
    EXPECT_NEAR(std::hypot(p[1], p[2] - r), 2 * r, 2e-6);
  }
}

TEST(Wrapper, PlacementOptionsMoveMirrorAndTurnTheTube) {
  TempDir dir;
  const Tube tube = make_tube(6, 3);
  const Written base = write_tube(dir, tube, length(1.75));
  const double lt = 1.75 * tube.lattice.lencell;
  const double d = tube.lattice.diameter;
  const std::string d4 = swnt::format_text("%lf", d * 4.0);

  swnt::WrapOptions mirrored = length(1.75), shifted = length(1.75), boxed = length(1.75);
  mirrored.magaxis = -1.0;
  mirrored.magdiam = 2.0;
  shifted.shiftx = -3.0;
  shifted.shiftz = 1.5;
  boxed.fcenter = 0;
  const Written m = write_tube(dir, tube, mirrored);
  const Written s = write_tube(dir, tube, shifted);
  const Written b = write_tube(dir, tube, boxed);
  EXPECT_EQ(m.lines[1], swnt::format_text("%lf  %lf  %lf", lt, d * 8.0, d * 8.0));
  EXPECT_EQ(s.lines[1], swnt::format_text("%lf  %s  %lf", lt + 6.0, d4.c_str(), d * 4.0 + 3.0));
  EXPECT_EQ(b.lines[1], base.lines[1]);
  for (std::size_t i = 0; i < base.atoms.size(); ++i) {
    const Point& p = base.atoms[i];
    EXPECT_NEAR(m.atoms[i][0], -p[0], 2e-6);
    EXPECT_NEAR(m.atoms[i][2], 2 * p[2], 2e-6);
    EXPECT_NEAR(s.atoms[i][0], p[0] - 3.0, 2e-6);
    EXPECT_NEAR(s.atoms[i][2], p[2] + 1.5, 2e-6);
    EXPECT_NEAR(b.atoms[i][0], p[0] + lt / 2, 2e-6);
    EXPECT_NEAR(b.atoms[i][1], p[1] + 2 * d, 2e-6);
  }

  // Along z the sheet is bent in x and y: the same fields, turned.
  swnt::WrapOptions along_z = length(1.75);
  along_z.iaxis = 2;
  const Written z = write_tube(dir, tube, along_z);
  EXPECT_EQ(z.lines[1], d4 + "  " + d4 + "  " + swnt::format_text("%lf", lt));
  for (std::size_t i = 3; i < base.lines.size(); ++i) {
    const std::string& l = base.lines[i];
    EXPECT_EQ(z.lines[i], l.substr(16, 16) + l.substr(32, 16) + l.substr(0, 16));
  }
}

TEST(Wrapper, PeriodicTubeOfASkewLatticeFoldsItsAtomsIntoTheLength) {
  // The cell chosen on the ideal lattice no longer lies within one cell
  // length of a skew table lattice.
  TempDir dir;
  Tube tube = make_tube(6, 2);
  tube.structure.va2 = {2.3, -1.1};
  tube.structure.vab = {0.3, -1.2};
  tube.lattice = swnt::compute_lattice_params(6, 2, tube.structure);
  for (const Point& p : write_tube(dir, tube, length(2.0)).atoms) {
    EXPECT_LE(std::fabs(p[0]), tube.lattice.lencell + 1e-6);
  }
}

TEST(Wrapper, RefusesOrReportsWhatCannotBeWritten) {
  TempDir dir;
  const Tube tube = make_tube(5, 5);
  const std::string path = (dir / "tube.wrp").string();
  test_support::write_file(path, "old\n");
  const auto attempt = [&](const std::string& target, const swnt::WrapOptions& options) {
    try {
      swnt::OutputFile file;
      swnt::write_wrapped_tube(file, target, tube.cells, tube.structure, tube.lattice, options);
      file.commit();
    } catch (const swnt::Error& error) {
      return std::string(error.what());
    }
    return std::string();
  };

  // Counts beyond 32 bits are found without walking the tube.
  const auto count = [&](double lenunit) {
    return swnt::count_tube_atoms(tube.structure, tube.lattice, tube.cells, lenunit);
  };
  EXPECT_EQ(count(107374182.0), 2147483640LL);
  EXPECT_GT(count(107374183.0), INT_MAX);
  EXPECT_GT(count(5e8 + 0.5), INT_MAX);
  for (const double lenunit : {1e300, 107374183.0, 5e8 + 0.5, std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(attempt(path, length(lenunit)).rfind("Error: ", 0), 0u) << lenunit;
  }
  swnt::WrapOptions scenes = length(1.0);
  scenes.nwrap = INT_MAX;
  EXPECT_EQ(attempt(path, scenes).rfind("Error: ", 0), 0u);
  EXPECT_EQ(test_support::read_file(path), "old\n");

  const std::string missing = (dir / "missing" / "tube.wrp").string();
  EXPECT_EQ(attempt(missing, length(2.0)), "Error: cannot write file " + missing + "\n");
  if (test_support::file_exists("/dev/full")) {
    EXPECT_EQ(attempt("/dev/full", length(2.0)), "Error: cannot write file /dev/full\n");
  }
  EXPECT_EQ(test_support::list_dir(dir.path()), std::vector<std::string>{"tube.wrp"});
}

}  // namespace
