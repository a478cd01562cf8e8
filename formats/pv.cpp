#include "formats/pv.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/bond_rule.hpp"
#include "core/neighbour_search.hpp"
#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "files/file_identity.hpp"
#include "files/output_file.hpp"
#include "formats/format.hpp"
#include "formats/trajectory.hpp"

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
                             double moved, bool as_read) {
  std::string reason = format_text("scene %lld, atom %lld: the %c coordinate %.10g", scene, atom,
                                   "xyz"[axis], read);
  if (!as_read) reason += format_text(", moved by half the box length to %.10g,", moved);
  reason += std::isfinite(moved)
                ? " lies outside the range -327.68 to 327.67 Angstrom that the pv format can hold"
                : " is not a finite number";
  return reason;
}

// One conversion: the trajectory read scene by scene, each scene written as
// its atom records and bond slots as soon as it is read.
class PvWriter {
 public:
  PvWriter(const TrajectoryInput& input, const std::string& output_path, bool shift_half_box,
           const Log& progress)
      : input_(input), output_path_(output_path), shift_half_box_(shift_half_box),
        progress_(progress) {}

  void write() {
    open_files();
    write_header();
    write_ball_sizes();
    if (progress_) progress_("Writing every scene...\n");
    allocate_scene_storage();
    for (long long scene = 1; scene <= reader_->header().ndat; ++scene) {
      if (progress_ && scene % 10 == 0) {
        progress_(format_text(" -- step:%4d\n", static_cast<int>(scene)));
      }
      read_scene(scene);
      find_bonds();
      write_scene();
    }
    if (!out_.commit()) throw write_error(output_path_);
  }

 private:
  // The input is tested before the output is created, so an unreadable
  // input leaves no trace among the user's files.  The output is written
  // under a scratch name: unless commit() succeeds, an earlier file of its
  // name stays as it was.
  void open_files() {
    if (progress_) {
      progress_("\n");
      progress_("Making pv file...\n");
      progress_(" -- input file:  " + printable(input_.name) + "\n");
      progress_(" -- output file: " + printable(output_path_) + "\n");
    }
    reader_.emplace(input_);
    if (overwrites_input(output_path_, input_.path)) {
      throw input_overwrite_error(output_path_, input_.name);
    }
    if (!out_.open(output_path_)) throw write_error(output_path_);
  }

  void write_header() {
    if (progress_) progress_("Writing Header...\n");
    const TrajectoryHeader& header = reader_->header();
    if (header.nmol > kMaxAtoms) {
      throw data_error(input_.name,
                       format_text("%lld atoms per scene are more than the pv format can hold "
                                   "(%lld)",
                                   header.nmol, kMaxAtoms));
    }
    if (header.ndat > kMaxScenes) {
      throw data_error(input_.name,
                       format_text("%lld scenes are more than the pv format can hold (%lld)",
                                   header.ndat, kMaxScenes));
    }
    out_.write(header_bytes(header));
  }

  void write_ball_sizes() {
    if (progress_) progress_(format_text("Writing Ball-mag (=%lf)...\n", kBallMag));
    char ball_mag[8];
    put_f64_le(ball_mag, kBallMag);
    std::string& buffer = out_.buffer();
    const auto nmol = static_cast<std::size_t>(reader_->header().nmol);
    for (std::size_t i = 0; i < nmol; ++i) buffer.append(ball_mag, sizeof ball_mag);
    out_.flush_if_full();
  }

  // Working storage, reused for every scene.
  void allocate_scene_storage() {
    const TrajectoryHeader& header = reader_->header();
    const auto nmol = static_cast<std::size_t>(header.nmol);
    nbond_ = 2 * nmol;
    atoms_.resize(nmol);
    positions_.resize(nmol);
    bond_count_.resize(nmol);
    pairs_.reserve(nbond_);
    half_box_ = {header.boxx * 0.5, header.boxy * 0.5, header.boxz * 0.5};
  }

  // The positions rounded half up to the stored unit of 0.01 Angstrom, and
  // moved by minus half the box first when asked.
  void read_scene(long long scene) {
    for (std::size_t i = 0; i < atoms_.size(); ++i) {
      const Position3 read = reader_->read_atom();
      for (std::size_t a = 0; a < 3; ++a) {
        const double c = shift_half_box_ ? read[a] - half_box_[a] : read[a];
        const double stored = std::floor(c * kScale + 0.5);
        if (!std::isfinite(c) || !(stored >= kMinStored && stored <= kMaxStored)) {
          throw data_error(input_.name, coordinate_error(scene, static_cast<long long>(i) + 1, a,
                                                         read[a], c, !shift_half_box_));
        }
        atoms_[i][a] = static_cast<std::int16_t>(stored);
        positions_[i][a] = atoms_[i][a] * kUnit;
      }
    }
  }

  // The bonds: every pair closer than the cut-off, in the order of the
  // all-pairs loop (first atom ascending, then second atom ascending).
  // Every bond is counted, but once there are more than the slots can take
  // the scene is refused anyway, so only the pairs that are still reported
  // (the too-close ones, in a verbose run) are kept from then on; that bounds
  // the memory when many atoms sit on one spot.
  void find_bonds() {
    const bool verbose = static_cast<bool>(progress_);
    pairs_.clear();
    std::size_t ibond = 0;
    search_.find_close_pairs(
        positions_, kBondCutoff,
        [&](std::uint32_t i, std::uint32_t j) {
          const double d = stored_distance(atoms_[i], atoms_[j]);
          if (!(d < kBondCutoff)) return false;
          ++ibond;
          return ibond <= nbond_ || (verbose && d < kTooClose);
        },
        pairs_);
    if (verbose) report_close_pairs();
    if (ibond > nbond_) {
      // The output is discarded: an earlier file of its name stays as it was.
      throw Error(format_text("Bond number exceeded the limit. (ibond=%d\n",
                              static_cast<int>(ibond)));
    }
    std::fill(bond_count_.begin(), bond_count_.end(), 0u);
    for (const AtomPair& pair : pairs_) {
      ++bond_count_[pair.first];
      ++bond_count_[pair.second];
    }
  }

  void report_close_pairs() {
    for (const AtomPair& pair : pairs_) {
      const double d = stored_distance(atoms_[pair.first], atoms_[pair.second]);
      if (d < kTooClose) {
        progress_(format_text(" -- atom %d and %d are too close", static_cast<int>(pair.first),
                              static_cast<int>(pair.second)));
        progress_(format_text("(bond length=%lf)\n", d));
      }
    }
  }

  void write_scene() {
    char atom_record[kAtomRecordSize];
    char bond_record[kBondRecordSize];
    char empty_slot[kBondRecordSize] = {};
    put_u8(empty_slot, kEmptySlotKind);
    std::string& buffer = out_.buffer();
    for (std::size_t i = 0; i < atoms_.size(); ++i) {
      const StoredPosition& p = atoms_[i];
      const bool at_origin = p[0] == 0 && p[1] == 0 && p[2] == 0;
      put_u8(atom_record, at_origin ? kAtomAtOriginKind : kind_for_bonds(bond_count_[i]));
      put_i16_le(atom_record + 1, p[0]);
      put_i16_le(atom_record + 3, p[1]);
      put_i16_le(atom_record + 5, p[2]);
      buffer.append(atom_record, sizeof atom_record);
    }
    for (const AtomPair& pair : pairs_) {
      put_u8(bond_record, kBondKind);
      put_u16_le(bond_record + 1, static_cast<std::uint16_t>(pair.first + 1));
      put_u16_le(bond_record + 3, static_cast<std::uint16_t>(pair.second + 1));
      buffer.append(bond_record, sizeof bond_record);
    }
    for (std::size_t k = pairs_.size(); k < nbond_; ++k) {
      buffer.append(empty_slot, sizeof empty_slot);
    }
    out_.flush_if_full();
  }

  const TrajectoryInput& input_;
  const std::string& output_path_;
  const bool shift_half_box_;
  const Log& progress_;
  std::optional<TrajectoryReader> reader_;
  OutputFile out_;
  std::size_t nbond_ = 0;
  std::vector<StoredPosition> atoms_;
  std::vector<Position3> positions_;
  std::vector<std::uint32_t> bond_count_;
  std::vector<AtomPair> pairs_;
  NeighbourSearch search_;
  std::array<double, 3> half_box_{};
};

}  // namespace

void write_pv_file(const TrajectoryInput& input, const std::string& output_path,
                   bool shift_half_box, const Log& progress) {
  PvWriter(input, output_path, shift_half_box, progress).write();
}

namespace {

void convert_to_pv(const TrajectoryInput& input, const std::string& output,
                   const ConversionSettings& settings, const Log& progress) {
  write_pv_file(input, output, settings.shift_half_box, progress);
}

}  // namespace

// Bonds by distance, in the 0.01 Angstrom the file stores.
const Format& pv_format() {
  static const Format format{
      "pv", "pv scene file", {".pv"}, {.needs_bonds = true}, convert_to_pv, nullptr};
  return format;
}

}  // namespace swnt
