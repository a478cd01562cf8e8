// The chirality finder against formulas written here independently and a
// brute-force enumeration; the listing's layout.
#include "geometry/chirality_finder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "core/error.hpp"
#include "geometry/lattice.hpp"
#include "geometry/structure.hpp"

namespace {

using Chirality = std::pair<int, int>;
using Window = swnt::FinderWindow;

double diameter_of(double a, int n, int m) { return a * std::sqrt(3.0 * (n * n + n * m + m * m)) / std::numbers::pi; }
double angle_of(int n, int m) { return std::atan(std::sqrt(3.0) * m / (2 * n + m)) * 180.0 / std::numbers::pi; }
int atoms_of(int n, int m) { return 4 * (n * n + n * m + m * m) / std::gcd(2 * n + m, 2 * m + n); }

std::vector<Chirality> chiralities(const std::vector<swnt::FoundTube>& tubes) {
  std::vector<Chirality> out;
  for (const auto& t : tubes) out.emplace_back(t.n, t.m);
  return out;
}

TEST(ChiralityFinder, FiguresMatchTheFormulasAndWrapping) {
  for (const double a : {1.42, 1.44}) {
    const auto tubes = swnt::find_tubes({}, a);
    for (const auto& [n, m] : {Chirality{10, 0}, {9, 0}, {6, 5}, {10, 10}}) {
      const auto t = std::find_if(tubes.begin(), tubes.end(), [&](const auto& x) { return x.n == n && x.m == m; });
      ASSERT_NE(t, tubes.end()) << n << "," << m;
      const double d = diameter_of(a, n, m);
      EXPECT_NEAR(t->diameter, d, 1e-9);
      EXPECT_EQ(t->atoms, atoms_of(n, m));
      EXPECT_NEAR(t->period, std::sqrt(3.0) * std::numbers::pi * d / std::gcd(2 * n + m, 2 * m + n), 1e-9);
      EXPECT_EQ(t->metallic, (n - m) % 3 == 0);
      EXPECT_NEAR(t->gap, t->metallic ? 0.0 : 2 * a * 2.9 / d, 1e-9);
      // The angle is wrapping's, whose acos of a cosine rounded just below 1
      // gives some zigzag tubes (9,0 at 1.44 AA) 1e-6 degrees.
      EXPECT_EQ(t->angle, swnt::compute_lattice_params(n, m, swnt::cylindrical_structure(a)).chiralangle);
      EXPECT_NEAR(t->angle, angle_of(n, m), m == 0 ? 2e-6 : 1e-9) << n << "," << m << " at " << a;
    }
  }
}

// Every (n,m) up to n = 200 that `accept` takes, by diameter, then n and m.
template <class Accept>
std::vector<Chirality> brute_force(Accept accept) {
  std::vector<std::tuple<int, int, int>> keyed;
  for (int n = 1; n <= 200; ++n) {
    for (int m = 0; m <= n; ++m) {
      if (accept(n, m, diameter_of(1.42, n, m), angle_of(n, m))) keyed.emplace_back(n * n + n * m + m * m, n, m);
    }
  }
  std::sort(keyed.begin(), keyed.end());
  std::vector<Chirality> out;
  for (const auto& [q, n, m] : keyed) out.emplace_back(n, m);
  return out;
}

TEST(ChiralityFinder, WindowsGiveExactlyTheBruteForceTubes) {
  const auto in_7_12 = [](int, int, double d, double) {
    EXPECT_GT(std::min(std::abs(d - 7.0), std::abs(d - 12.0)), 1e-6) << "a tube on a bound";
    return d >= 7.0 && d <= 12.0;
  };
  const auto found = [](Window w) { return chiralities(swnt::find_tubes(w, 1.42)); };
  EXPECT_EQ(found({7, 12}), brute_force(in_7_12));
  EXPECT_EQ(found({7, 12, 10, 20, Window::Kind::semiconducting}),
            brute_force([&](int n, int m, double d, double angle) {
              return in_7_12(n, m, d, angle) && angle >= 10 && angle <= 20 && (n - m) % 3 != 0;
            }));
  EXPECT_EQ(found({0, 50, 0, 30, Window::Kind::metallic, 400}), brute_force([](int n, int m, double d, double) {
              return d <= 50 && (n - m) % 3 == 0 && atoms_of(n, m) <= 400;
            }));
  // The bounds 0 and 30 hold the zigzag and the armchair tubes exactly.
  EXPECT_EQ(found({0, 50, 0, 0}), brute_force([](int, int m, double d, double) { return m == 0 && d <= 50; }));
  EXPECT_EQ(found({0, 50, 30, 30}), brute_force([](int n, int m, double d, double) { return m == n && d <= 50; }));
}

TEST(ChiralityFinder, RefusesWhatItCannotSearch) {
  for (const double bond : {0.0, std::nan("")}) EXPECT_THROW(swnt::find_tubes({}, bond), swnt::Error);
  for (const Window w : {Window{0, 2000}, Window{0, std::nan("")}, Window{0, 50, 0, 30, Window::Kind::any, -1}}) {
    EXPECT_THROW(swnt::find_tubes(w, 1.42), swnt::Error);
  }
  EXPECT_TRUE(swnt::find_tubes({10, 5}, 1.42).empty());
}

TEST(ChiralityFinder, Listing) {
  EXPECT_EQ(swnt::finder_listing({}, true), "n,m,diameter,angle,atoms,T,type,gap\n");
  const std::string header = swnt::finder_listing({}, false);
  EXPECT_EQ(header.substr(0, 6) + std::to_string(std::count(header.begin(), header.end(), '\n')), "#   n 1");

  auto tubes = swnt::find_tubes({7.8, 7.84}, 1.42);  // (10,0) alone
  EXPECT_EQ(swnt::finder_listing(tubes, true),
            "n,m,diameter,angle,atoms,T,type,gap\n10,0,7.828870315,0,40,4.26,semiconducting,1.052003631\n");
  EXPECT_EQ(swnt::finder_listing(tubes, false),
            header + "   10     0        7.8289       0.000         40       4.2600  semiconducting    1.052\n");
  tubes[0].recorded = true;
  EXPECT_EQ(swnt::finder_listing(tubes, true).substr(0, 43), "n,m,diameter,angle,atoms,T,type,gap,energy\n");
  tubes[0].energy_is_strain = true;
  EXPECT_EQ(swnt::finder_listing(tubes, true).substr(0, 50), "n,m,diameter,angle,atoms,T,type,gap,strain_energy\n");
}

}  // namespace
