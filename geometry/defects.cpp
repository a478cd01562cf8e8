#include "geometry/defects.hpp"

#include <algorithm>
#include <cmath>

#include "core/error.hpp"
#include "core/neighbour_search.hpp"
#include "core/text_format.hpp"

namespace swnt {

std::uint64_t SplitMix64::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t SplitMix64::below(std::uint64_t n) {
  // 2^64 mod n: the numbers below it would make the small results likelier.
  const std::uint64_t rejected = (0 - n) % n;
  for (;;) {
    const std::uint64_t x = next();
    if (x >= rejected) return x % n;
  }
}

namespace {

// The central bond of a Stone-Wales defect, as a share of the bond turned.
constexpr double kTurnedBondShare = 0.93;

void shuffle(std::vector<std::uint32_t>& items, SplitMix64& random) {
  for (std::size_t i = items.size(); i > 1; --i) {
    const std::size_t j = static_cast<std::size_t>(random.below(i));
    std::swap(items[i - 1], items[j]);
  }
}

// The bonds of the structure, those through the periodic boundary along the
// axis included, and walks over them.
class BondGraph {
 public:
  BondGraph(const Frame& frame, int axis, double cutoff) : frame_(frame), axis_(axis) {
    const Cell& cell = frame.cell;
    periodic_ = cell.periodic[axis];
    length_ = cell.length(axis);
    // Images of the atoms near the lower face, one length up, find the bonds
    // through the boundary.
    std::vector<Position3> positions = frame.positions;
    std::vector<std::uint32_t> original(positions.size());
    for (std::size_t i = 0; i < original.size(); ++i) original[i] = static_cast<std::uint32_t>(i);
    if (periodic_) {
      for (std::size_t i = 0; i < frame.positions.size(); ++i) {
        if (frame.positions[i][axis] < cell.lo[axis] + cutoff) {
          Position3 image = frame.positions[i];
          image[axis] = image[axis] + length_;
          positions.push_back(image);
          original.push_back(static_cast<std::uint32_t>(i));
        }
      }
    }
    std::vector<AtomPair> found;
    find_close_pairs(
        positions, cutoff,
        [&](std::uint32_t i, std::uint32_t j) { return distance(positions[i], positions[j]) < cutoff; },
        found);
    // The pairs of two atoms come in order; those through the boundary,
    // few, are sorted and merged in.
    const std::size_t n = frame.positions.size();
    std::vector<AtomPair> inside;
    std::vector<AtomPair> through;
    inside.reserve(found.size());
    for (const AtomPair& pair : found) {
      const std::uint32_t a = original[pair.first];
      const std::uint32_t b = original[pair.second];
      if (pair.second < n) {
        inside.push_back(pair);
      } else if (a != b) {
        through.push_back({std::min(a, b), std::max(a, b)});
      }
    }
    const auto before = [](const AtomPair& x, const AtomPair& y) {
      return x.first != y.first ? x.first < y.first : x.second < y.second;
    };
    const auto same = [](const AtomPair& x, const AtomPair& y) {
      return x.first == y.first && x.second == y.second;
    };
    std::sort(through.begin(), through.end(), before);
    std::vector<AtomPair> pairs(inside.size() + through.size());
    std::merge(inside.begin(), inside.end(), through.begin(), through.end(), pairs.begin(), before);
    pairs.erase(std::unique(pairs.begin(), pairs.end(), same), pairs.end());
    bonds_ = pairs;
    lists_.build(n, pairs);
    stamp_.assign(n, 0);
  }

  const std::vector<AtomPair>& bonds() const { return bonds_; }
  std::size_t degree(std::uint32_t atom) const { return lists_.count(atom); }

  // From a to b by the nearest image along the periodic axis.
  Position3 offset(std::uint32_t a, std::uint32_t b) const {
    Position3 d{};
    for (int k = 0; k < 3; ++k) d[k] = frame_.positions[b][k] - frame_.positions[a][k];
    if (periodic_) d[axis_] = d[axis_] - length_ * std::round(d[axis_] / length_);
    return d;
  }

  // Every atom within `depth` bonds of any of `starts`, the starts included.
  const std::vector<std::uint32_t>& within(std::initializer_list<std::uint32_t> starts, int depth) {
    ++visit_;
    reached_.clear();
    for (const std::uint32_t s : starts) {
      if (stamp_[s] != visit_) {
        stamp_[s] = visit_;
        reached_.push_back(s);
      }
    }
    std::size_t begin = 0;
    for (int step = 0; step < depth; ++step) {
      const std::size_t end = reached_.size();
      for (std::size_t k = begin; k < end; ++k) {
        const std::uint32_t atom = reached_[k];
        for (std::size_t e = lists_.start[atom]; e < lists_.start[atom + 1]; ++e) {
          const std::uint32_t next = lists_.index[e];
          if (stamp_[next] != visit_) {
            stamp_[next] = visit_;
            reached_.push_back(next);
          }
        }
      }
      begin = end;
    }
    return reached_;
  }

  const std::uint32_t* neighbours(std::uint32_t atom, std::size_t& count) const {
    count = lists_.count(atom);
    return lists_.index.data() + lists_.start[atom];
  }

 private:
  const Frame& frame_;
  int axis_;
  bool periodic_ = false;
  double length_ = 0.0;
  std::vector<AtomPair> bonds_;
  NeighbourLists lists_;
  std::vector<std::uint32_t> stamp_;
  std::uint32_t visit_ = 0;
  std::vector<std::uint32_t> reached_;
};

bool any_marked(const std::vector<std::uint32_t>& atoms, const std::vector<char>& marks) {
  for (const std::uint32_t atom : atoms) {
    if (marks[atom] != 0) return true;
  }
  return false;
}

void mark(const std::vector<std::uint32_t>& atoms, std::vector<char>& marks) {
  for (const std::uint32_t atom : atoms) marks[atom] = 1;
}

// Turns the bond a-b about the surface normal through its midpoint.
void turn_bond(Frame& frame, const BondGraph& graph, std::uint32_t a, std::uint32_t b,
               const std::array<double, 2>& centre, int axis) {
  const int P = axis == 0 ? 1 : 0;
  const int Q = axis == 2 ? 1 : 2;
  const Position3 d = graph.offset(a, b);
  Position3 middle{};
  for (int k = 0; k < 3; ++k) middle[k] = frame.positions[a][k] + d[k] * 0.5;
  Position3 normal{};
  normal[P] = middle[P] - centre[0];
  normal[Q] = middle[Q] - centre[1];
  const Position3 turned{normal[1] * d[2] - normal[2] * d[1], normal[2] * d[0] - normal[0] * d[2],
                         normal[0] * d[1] - normal[1] * d[0]};
  const double turned_length = std::sqrt(turned[0] * turned[0] + turned[1] * turned[1] + turned[2] * turned[2]);
  const double half = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]) * 0.5 * kTurnedBondShare;
  const Cell& cell = frame.cell;
  for (const auto& [atom, sign] : {std::pair{a, -1.0}, std::pair{b, 1.0}}) {
    Position3& p = frame.positions[atom];
    for (int k = 0; k < 3; ++k) p[k] = middle[k] + sign * turned[k] / turned_length * half;
    if (cell.periodic[axis]) {
      const double length = cell.length(axis);
      p[axis] = p[axis] - std::floor((p[axis] - cell.lo[axis]) / length) * length;
    }
  }
}

Error too_few(long long asked, std::size_t placed, const char* what, const char* rule,
              std::uint64_t seed) {
  return Error(format_text(
      "Error: %lld %s asked, but only %zu fit %s in this structure (seed %llu).\n", asked, what,
      placed, rule, static_cast<unsigned long long>(seed)));
}

}  // namespace

DefectReport make_defects(Frame& frame, const DefectRequest& request,
                          const std::vector<std::array<double, 2>>& centres, int axis) {
  DefectReport report;
  if (request.stone_wales == 0 && request.vacancies == 0 && request.dopants.empty()) return report;
  const std::size_t n = frame.positions.size();
  SplitMix64 random(request.seed);
  BondGraph graph(frame, axis, request.cutoff);
  std::vector<char> near_turned(n, 0);  // within three bonds of a Stone-Wales atom

  // Stone-Wales defects.
  std::vector<std::uint32_t> candidates;
  const std::vector<AtomPair>& bonds = graph.bonds();
  for (std::size_t k = 0; k < bonds.size(); ++k) {
    const AtomPair& bond = bonds[k];
    if (graph.degree(bond.first) != 3 || graph.degree(bond.second) != 3) continue;
    if (request.orientation != StoneWalesOrientation::any) {
      const Position3 d = graph.offset(bond.first, bond.second);
      const double along = std::fabs(d[axis]) / std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
      const bool axial = along > std::sqrt(0.5);
      if (axial != (request.orientation == StoneWalesOrientation::axial)) continue;
    }
    candidates.push_back(static_cast<std::uint32_t>(k));
  }
  if (request.stone_wales > 0) {
    shuffle(candidates, random);
    for (const std::uint32_t k : candidates) {
      if (static_cast<long long>(report.stone_wales.size()) == request.stone_wales) break;
      const AtomPair bond = bonds[k];
      const std::vector<std::uint32_t>& region = graph.within({bond.first, bond.second}, 3);
      if (any_marked(region, near_turned)) continue;
      mark(region, near_turned);
      report.stone_wales.push_back({bond.first, bond.second});
    }
    if (static_cast<long long>(report.stone_wales.size()) < request.stone_wales) {
      throw too_few(request.stone_wales, report.stone_wales.size(), "Stone-Wales defects",
                    "apart from each other (no atom within three bonds of two of them)",
                    request.seed);
    }
  }

  // Vacancies.
  std::vector<char> removed(n, 0);
  if (request.vacancies > 0) {
    std::vector<char> blocked = near_turned;
    candidates.clear();
    for (std::uint32_t i = 0; i < n; ++i) {
      if (blocked[i] == 0) candidates.push_back(i);
    }
    shuffle(candidates, random);
    for (const std::uint32_t atom : candidates) {
      if (static_cast<long long>(report.vacancies.size()) == request.vacancies) break;
      if (blocked[atom] != 0) continue;
      mark(graph.within({atom}, 2), blocked);
      removed[atom] = 1;
      report.vacancies.push_back(atom);
    }
    if (static_cast<long long>(report.vacancies.size()) < request.vacancies) {
      throw too_few(request.vacancies, report.vacancies.size(), "vacancies",
                    "more than two bonds apart and away from the Stone-Wales defects", request.seed);
    }
  }

  // Dopants, on the carbons left.
  if (!request.dopants.empty()) {
    std::uint8_t carbon = 0;
    while (carbon < frame.species.size() && frame.species[carbon].symbol != "C") ++carbon;
    candidates.clear();
    for (std::uint32_t i = 0; i < n; ++i) {
      if (carbon < frame.species.size() && frame.kind[i] == carbon && removed[i] == 0) {
        candidates.push_back(i);
      }
    }
    if (candidates.empty()) {
      throw Error("Error: dopants replace carbon atoms, and the structure holds none.\n");
    }
    const double carbons = static_cast<double>(candidates.size());
    shuffle(candidates, random);
    std::vector<char> blocked(n, 0);
    std::size_t next = 0;
    for (std::size_t d = 0; d < request.dopants.size(); ++d) {
      const DopantAmount& dopant = request.dopants[d];
      const long long wanted =
          dopant.fraction ? std::llround(dopant.share * carbons) : dopant.count;
      std::vector<std::uint32_t> placed;
      while (static_cast<long long>(placed.size()) < wanted && next < candidates.size()) {
        const std::uint32_t atom = candidates[next++];
        if (blocked[atom] != 0) continue;
        blocked[atom] = 1;
        if (!request.dopants_adjacent) {
          std::size_t count = 0;
          const std::uint32_t* around = graph.neighbours(atom, count);
          for (std::size_t e = 0; e < count; ++e) blocked[around[e]] = 1;
        }
        placed.push_back(atom);
      }
      if (static_cast<long long>(placed.size()) < wanted) {
        throw too_few(wanted, placed.size(),
                      format_text("%s dopants", dopant.species.symbol.c_str()).c_str(),
                      request.dopants_adjacent ? "on the carbons left"
                                               : "on the carbons left, none bonded to another",
                      request.seed);
      }
      std::sort(placed.begin(), placed.end());
      report.dopants.push_back(placed);
    }
  }

  // The turns, then the new species, then the atoms removed.
  for (const auto& [a, b] : report.stone_wales) {
    turn_bond(frame, graph, a, b, centres[frame.molecule[a] - 1], axis);
  }
  for (std::size_t d = 0; d < request.dopants.size(); ++d) {
    const Species& species = request.dopants[d].species;
    std::size_t kind = 0;
    while (kind < frame.species.size() && frame.species[kind].symbol != species.symbol) ++kind;
    if (kind == frame.species.size()) frame.species.push_back(species);
    for (const std::uint32_t atom : report.dopants[d]) frame.kind[atom] = static_cast<std::uint8_t>(kind);
  }
  std::vector<std::uint32_t> written(n, 0);  // per atom its number as written
  std::size_t kept = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (removed[i] != 0) continue;
    written[i] = static_cast<std::uint32_t>(kept + 1);
    frame.positions[kept] = frame.positions[i];
    frame.kind[kept] = frame.kind[i];
    frame.molecule[kept] = frame.molecule[i];
    ++kept;
  }
  frame.positions.resize(kept);
  frame.kind.resize(kept);
  frame.molecule.resize(kept);
  for (auto& pair : report.stone_wales) pair = {written[pair[0]], written[pair[1]]};
  for (auto& atoms : report.dopants) {
    for (std::uint32_t& atom : atoms) atom = written[atom];
  }
  std::sort(report.vacancies.begin(), report.vacancies.end());
  for (std::uint32_t& atom : report.vacancies) ++atom;
  return report;
}

}  // namespace swnt
