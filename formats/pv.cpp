#include "formats/pv.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/bond_rule.hpp"
#include "files/file_identity.hpp"
#include "files/file_errors.hpp"
#include "core/neighbour_search.hpp"
#include "files/output_file.hpp"
#include "core/text_format.hpp"
#include "files/number_stream.hpp"

namespace swnt {

namespace {

// The 32 characters at the start of every pv file, stored without a NUL.
constexpr char kMagic[] = "PV-01 /Tarvelmoundrix Laboratory";
constexpr std::size_t kMagicSize = 32;
static_assert(sizeof kMagic == kMagicSize + 1);

constexpr std::size_t kHeaderSize = 104;
constexpr std::size_t kAtomRecordSize = 7;
constexpr std::size_t kBondRecordSize = 5;

constexpr double kBallMag = 0.8;      // ball magnification of every atom
constexpr double kTooClose = 1.0;     // Angstrom; closer pairs are reported when verbose
constexpr double kScale = 100.0;      // stored unit: 0.01 Angstrom
constexpr double kUnit = 0.01;

// What the 16-bit fields of the format can hold: 2 * nmol bond slots must fit
// an unsigned 16-bit count, and positions are signed 16-bit values.
constexpr long long kMaxAtoms = 32767;
constexpr long long kMaxScenes = 65535;
constexpr double kMinStored = -32768.0;
constexpr double kMaxStored = 32767.0;

constexpr std::uint8_t kBondKind = 118;  // 'v'
constexpr std::uint8_t kEmptySlotKind = 255;
constexpr std::uint8_t kAtomAtOriginKind = 3;

using StoredPosition = std::array<std::int16_t, 3>;

// Little-endian stores into a record under construction.
void put_u8(char* at, std::uint8_t value) { at[0] = static_cast<char>(value); }

void put_u16_le(char* at, std::uint16_t value) {
  at[0] = static_cast<char>(value & 0xFFu);
  at[1] = static_cast<char>(value >> 8);
}

void put_i16_le(char* at, std::int16_t value) { put_u16_le(at, static_cast<std::uint16_t>(value)); }

void put_f64_le(char* at, double value) {
  std::uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  for (int k = 0; k < 8; ++k) at[k] = static_cast<char>((bits >> (8 * k)) & 0xFFu);
}

// Atom colour code by its number of bonds in the scene.
std::uint8_t kind_for_bonds(std::uint32_t bonds) {
  switch (bonds) {
    case 0: return 15;
    case 1: return 14;
    case 2: return 10;
    case 3: return 2;
    default: return 1;
  }
}

// Distance of two atoms from their stored integer positions: the integer
// differences are scaled to Angstrom, so the result depends only on the
// 0.01 Angstrom values the file holds.
double stored_distance(const StoredPosition& a, const StoredPosition& b) {
  const double dx = (a[0] - b[0]) * kUnit;
  const double dy = (a[1] - b[1]) * kUnit;
  const double dz = (a[2] - b[2]) * kUnit;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

std::string header_bytes(const TrajectoryHeader& header) {
  std::string bytes(kHeaderSize, '\0');
  char* at = bytes.data();
  for (std::size_t k = 0; k < kMagicSize; ++k) at[k] = kMagic[k];
  // The lead number is kept as an unsigned 16-bit value, modulo 65536.
  put_u16_le(at + 32, static_cast<std::uint16_t>(header.lead));
  put_u16_le(at + 34, static_cast<std::uint16_t>(header.nmol));
  put_u16_le(at + 36, static_cast<std::uint16_t>(2 * header.nmol));
  put_u16_le(at + 38, static_cast<std::uint16_t>(header.ndat));
  // The bounds always describe a box centred on the origin.
  put_f64_le(at + 40, -header.boxx * 0.5);
  put_f64_le(at + 48, header.boxx * 0.5);
  put_f64_le(at + 56, -header.boxy * 0.5);
  put_f64_le(at + 64, header.boxy * 0.5);
  put_f64_le(at + 72, -header.boxz * 0.5);
  put_f64_le(at + 80, header.boxz * 0.5);
  put_f64_le(at + 88, header.aux1);
  put_f64_le(at + 96, header.aux2);
  return bytes;
}

std::string coordinate_error(long long scene, long long atom, std::size_t axis, double read,
                             double moved, bool centred) {
  std::string reason = format_text("scene %lld, atom %lld: the %c coordinate %.10g", scene, atom,
                                   "xyz"[axis], read);
  if (!centred) reason += format_text(", moved by half the box length to %.10g,", moved);
  reason += std::isfinite(moved)
                ? " lies outside the range -327.68 to 327.67 Angstrom that the pv format can hold"
                : " is not a finite number";
  return reason;
}

}  // namespace

int write_pv_file(const TrajectoryInput& input, const std::string& output_path, int verbose,
                  int centred) {
  const std::string& input_path = input.name;  // as messages name it
  if (verbose) {
    std::printf("\n");
    std::printf("Making pv file...\n");
    std::printf(" -- input file:  %s\n", printable(input_path).c_str());
    std::printf(" -- output file: %s\n", printable(output_path).c_str());
  }

  // The input is tested before the output is created, so an unreadable
  // input leaves no trace among the user's files.
  TrajectoryReader reader;
  TrajectoryHeader header;
  if (!open_trajectory(reader, header, input)) return 1;
  if (overwrites_input(output_path, input.path)) {
    print_input_overwrite_error(output_path, input_path);
    return 1;
  }
  // Written under a scratch name: unless commit() succeeds, an earlier file
  // of the output's name stays as it was.
  OutputFile out;
  if (!out.open(output_path)) {
    print_write_error(output_path);
    return 1;
  }

  if (verbose) std::printf("Writing Header...\n");
  if (header.nmol > kMaxAtoms) {
    print_data_error(input_path,
                     format_text("%lld atoms per scene are more than the pv format can hold (%lld)",
                                 header.nmol, kMaxAtoms));
    return 1;
  }
  if (header.ndat > kMaxScenes) {
    print_data_error(input_path,
                     format_text("%lld scenes are more than the pv format can hold (%lld)",
                                 header.ndat, kMaxScenes));
    return 1;
  }
  out.write(header_bytes(header));

  const auto nmol = static_cast<std::size_t>(header.nmol);
  const std::size_t nbond = 2 * nmol;

  if (verbose) std::printf("Writing Ball-mag (=%lf)...\n", kBallMag);
  {
    char ball_mag[8];
    put_f64_le(ball_mag, kBallMag);
    std::string& buffer = out.buffer();
    for (std::size_t i = 0; i < nmol; ++i) buffer.append(ball_mag, sizeof ball_mag);
    out.flush_if_full();
  }

  if (verbose) std::printf("Writing every scene...\n");
  // Working storage, reused for every scene.
  std::vector<StoredPosition> atoms(nmol);
  std::vector<Position3> positions(nmol);
  std::vector<std::uint32_t> bond_count(nmol);
  std::vector<AtomPair> pairs;
  NeighbourSearch search;
  pairs.reserve(nbond);
  const std::array<double, 3> half_box{header.boxx * 0.5, header.boxy * 0.5, header.boxz * 0.5};
  char atom_record[kAtomRecordSize];
  char bond_record[kBondRecordSize];
  char empty_slot[kBondRecordSize] = {};
  put_u8(empty_slot, kEmptySlotKind);

  for (long long scene = 1; scene <= header.ndat; ++scene) {
    if (verbose && scene % 10 == 0) std::printf(" -- step:%4d\n", static_cast<int>(scene));

    for (std::size_t i = 0; i < nmol; ++i) {
      std::array<double, 3> read{};
      if (!reader.read_triple(read[0], read[1], read[2])) {
        print_data_error(input_path, reader.error());
        return 1;
      }
      for (std::size_t a = 0; a < 3; ++a) {
        const double c = centred ? read[a] : read[a] - half_box[a];
        // Rounding half up to the stored unit of 0.01 Angstrom.
        const double stored = std::floor(c * kScale + 0.5);
        if (!std::isfinite(c) || !(stored >= kMinStored && stored <= kMaxStored)) {
          print_data_error(input_path, coordinate_error(scene, static_cast<long long>(i) + 1, a,
                                                        read[a], c, centred != 0));
          return 1;
        }
        atoms[i][a] = static_cast<std::int16_t>(stored);
        positions[i][a] = atoms[i][a] * kUnit;
      }
    }

    // The bonds: every pair closer than the cut-off, in the order of the
    // all-pairs loop (first atom ascending, then second atom ascending).
    // Every bond is counted, but once there are more than the slots can take
    // the scene is refused anyway, so only the pairs that are still reported
    // (the too-close ones, when verbose) are kept from then on; that bounds
    // the memory when many atoms sit on one spot.
    pairs.clear();
    std::size_t ibond = 0;
    search.find_close_pairs(
        positions, kBondCutoff,
        [&](std::uint32_t i, std::uint32_t j) {
          const double d = stored_distance(atoms[i], atoms[j]);
          if (!(d < kBondCutoff)) return false;
          ++ibond;
          return ibond <= nbond || (verbose && d < kTooClose);
        },
        pairs);

    if (verbose) {
      for (const AtomPair& pair : pairs) {
        const double d = stored_distance(atoms[pair.first], atoms[pair.second]);
        if (d < kTooClose) {
          std::printf(" -- atom %d and %d are too close", static_cast<int>(pair.first),
                      static_cast<int>(pair.second));
          std::printf("(bond length=%lf)\n", d);
        }
      }
    }
    if (ibond > nbond) {
      // The output is discarded: an earlier file of its name stays as it was.
      std::printf("Bond number exceeded the limit. (ibond=%d\n", static_cast<int>(ibond));
      return 1;
    }

    std::fill(bond_count.begin(), bond_count.end(), 0u);
    for (const AtomPair& pair : pairs) {
      ++bond_count[pair.first];
      ++bond_count[pair.second];
    }

    std::string& buffer = out.buffer();
    for (std::size_t i = 0; i < nmol; ++i) {
      const StoredPosition& p = atoms[i];
      const bool at_origin = p[0] == 0 && p[1] == 0 && p[2] == 0;
      put_u8(atom_record, at_origin ? kAtomAtOriginKind : kind_for_bonds(bond_count[i]));
      put_i16_le(atom_record + 1, p[0]);
      put_i16_le(atom_record + 3, p[1]);
      put_i16_le(atom_record + 5, p[2]);
      buffer.append(atom_record, sizeof atom_record);
    }
    for (const AtomPair& pair : pairs) {
      put_u8(bond_record, kBondKind);
      put_u16_le(bond_record + 1, static_cast<std::uint16_t>(pair.first + 1));
      put_u16_le(bond_record + 3, static_cast<std::uint16_t>(pair.second + 1));
      buffer.append(bond_record, sizeof bond_record);
    }
    for (std::size_t k = pairs.size(); k < nbond; ++k) buffer.append(empty_slot, sizeof empty_slot);
    out.flush_if_full();
  }

  if (!out.commit()) {
    print_write_error(output_path);
    return 1;
  }
  return 0;
}

}  // namespace swnt
