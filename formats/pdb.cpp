#include "formats/pdb.hpp"

#include <array>
#include <cmath>

#include "core/text_format.hpp"
#include "formats/atom_names.hpp"
#include "formats/format.hpp"

namespace swnt {

namespace {

constexpr char kAxisName[3] = {'x', 'y', 'z'};

// Residue numbers have four columns; past 9999 they run on modulo this,
// and readers start a new residue wherever the number changes.
constexpr long long kResidueModulus = 10000;

// The serial number of atom i (from 0) in its five columns: decimal while
// it fits, "*****" beyond, which OpenMM's PDBFile and MDAnalysis number on
// in sequence (OpenMM reads a hybrid-36 serial as hexadecimal and fails at
// the first that is not, A000G).
void append_serial(std::string& text, std::size_t i) {
  if (static_cast<long long>(i) < kPdbMaxDecimalSerial) {
    append_int(text, static_cast<long long>(i) + 1, 5);
  } else {
    text += "*****";
  }
}

// `value` with three decimals in exactly `width` columns; false when it
// needs more.
bool append_columns(std::string& text, double value, int width) {
  const std::size_t before = text.size();
  append_fixed(text, value, width, 3);
  if (text.size() - before == static_cast<std::size_t>(width)) return true;
  text.resize(before);
  return false;
}

class PdbWriter : public FrameWriter {
 public:
  explicit PdbWriter(const PeriodicAxes& periodic) : periodic_(periodic) {}

  // The line that names the periodic axes, once at the top of the file.
  void begin(OutputFile& out) override {
    out.buffer() += "REMARK   1 PERIODIC AXES: " + axes_text(periodic_) + '\n';
  }

  // CRYST1 and one HETATM record per atom, inside MODEL/ENDMDL when every
  // scene is written.  The models of one file hold the same atoms.
  void write_frame(const Topology& topology, const FrameSource& source,
                   OutputFile& out) override {
    std::string& text = out.buffer();
    if (first_scene_ == 0) {
      first_scene_ = source.scene;
      first_count_ = topology.atom_count();
      if (static_cast<long long>(first_count_) > kPdbMaxDecimalSerial) {
        text += "REMARK   1 NO CONECT RECORDS: READERS TAKE THE BONDS OF AT MOST 99999 ATOMS\n";
      }
    }
    if (topology.atom_count() != first_count_) {
      throw Error(format_text(
          "Error: scene %lld keeps %zu atoms where scene %lld keeps %zu: the models of a PDB "
          "file must hold the same atoms.\n",
          source.scene, topology.atom_count(), first_scene_, first_count_));
    }
    where_ = source.every_scene ? format_text("scene %lld: ", source.scene) : std::string();
    const long long model = source.every_scene ? source.scene : 0;
    if (model != 0) {
      const std::string number = hybrid36(model, 4);
      if (number.empty()) {
        fail(format_text("scene %lld is beyond the models that PDB can number", model));
      }
      text += "MODEL     " + number + '\n';
    }
    write_cryst1(topology.cell, text);
    write_atoms(topology, out);
    if (model != 0) text += "ENDMDL\n";
  }

  // The CONECT records of every bond (each atom with its partners, four to a
  // record) of the last scene written, then END: PDB holds one set of bonds.
  // OpenMM's PDBFile, MDAnalysis and OpenBabel take the serials of CONECT
  // records as five decimal columns only (MDAnalysis refuses a file with
  // any other), so a file of more atoms holds none.
  void end(const Topology& last, OutputFile& out) override {
    std::string& text = out.buffer();
    const NeighbourLists& lists = last.neighbours;
    const std::size_t n =
        static_cast<long long>(last.atom_count()) > kPdbMaxDecimalSerial ? 0 : last.atom_count();
    for (std::size_t i = 0; i < n; ++i) {
      for (std::size_t k = lists.start[i]; k < lists.start[i + 1]; k += 4) {
        text += "CONECT";
        append_int(text, static_cast<long long>(i) + 1, 5);
        for (std::size_t m = k; m < lists.start[i + 1] && m < k + 4; ++m) {
          append_int(text, static_cast<long long>(lists.index[m]) + 1, 5);
        }
        text += '\n';
      }
      out.flush_if_full();
    }
    text += "END\n";
  }

 private:
  [[noreturn]] void fail(const std::string& reason) const {
    throw Error("Error: " + where_ + reason + ".\n");
  }

  // The cell's edge lengths and the angles between its edges (alpha between
  // b and c, beta between a and c, gamma between a and b), with a along x
  // and b in the xy plane as PDB places them.
  void write_cryst1(const Cell& cell, std::string& text) const {
    text += "CRYST1";
    std::array<Position3, 3> edge{};
    std::array<double, 3> length{};
    for (int a = 0; a < 3; ++a) {
      edge[a] = cell.vector(a);
      length[a] = cell.orthogonal() ? cell.length(a)
                                    : std::sqrt(edge[a][0] * edge[a][0] + edge[a][1] * edge[a][1] +
                                                edge[a][2] * edge[a][2]);
      if (!append_columns(text, length[a], 9)) {
        fail(format_text("the box length %.3f along %c does not fit the nine columns of PDB",
                         length[a], kAxisName[a]));
      }
    }
    if (cell.orthogonal()) {
      text += "  90.00  90.00  90.00 P 1           1\n";
      return;
    }
    const auto angle = [&](int a, int b) {
      const double dot = edge[a][0] * edge[b][0] + edge[a][1] * edge[b][1] + edge[a][2] * edge[b][2];
      return std::acos(dot / (length[a] * length[b])) * (180.0 / kPi);
    };
    for (const double degrees : {angle(1, 2), angle(0, 2), angle(0, 1)}) append_fixed(text, degrees, 7, 2);
    text += " P 1           1\n";
  }

  void write_atoms(const Topology& topology, OutputFile& out) const {
    const AtomNaming naming(topology);
    std::string& text = out.buffer();
    for (std::size_t i = 0; i < topology.atom_count(); ++i) {
      const std::string& element = topology.species[topology.kind[i]].symbol;
      text += "HETATM";
      append_serial(text, i);
      // The atom name, unique within its residue: a one-letter element
      // stands in the second column, and four characters fill all four.
      const std::string name = naming.name(topology, i);
      text += ' ';
      if (element.size() == 1 && name.size() < 4) text += ' ';
      text += name;
      text.append(element.size() == 1 && name.size() < 4 ? 3 - name.size() : 4 - name.size(), ' ');
      text += " CNT A";
      append_int(text, naming.residue[i] % kResidueModulus, 4);
      text += "    ";
      for (int a = 0; a < 3; ++a) {
        const double c = topology.positions[i][a];
        if (!append_columns(text, c, 8)) {
          fail(format_text(
              "atom %zu: its %c coordinate %.3f does not fit the eight columns of PDB "
              "(-999.999 to 9999.999)",
              i + 1, kAxisName[a], c));
        }
      }
      text += "  1.00  0.00          ";
      if (element.size() == 1) text += ' ';
      text += element;
      text += '\n';
      out.flush_if_full();
    }
  }

  PeriodicAxes periodic_;
  long long first_scene_ = 0;
  std::size_t first_count_ = 0;
  std::string where_;
};

std::unique_ptr<FrameWriter> pdb_writer(const FrameSettings& settings) {
  return std::make_unique<PdbWriter>(settings.periodic);
}

}  // namespace

std::string hybrid36(long long value, int width) {
  long long decimal_limit = 1;
  long long letters = 26;  // the first digit of the base-36 forms is a letter: 26 values
  for (int k = 0; k < width; ++k) decimal_limit *= 10;
  for (int k = 1; k < width; ++k) letters *= 36;
  if (value < 0) return "";
  if (value < decimal_limit) {
    std::string text;
    append_int(text, value, width);
    return text;
  }
  long long rest = value - decimal_limit;
  const char* digits = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  if (rest >= letters) {
    rest -= letters;
    digits = "0123456789abcdefghijklmnopqrstuvwxyz";
    if (rest >= letters) return "";
  }
  // The upper-case range starts at "A000..", which is 10 * 36^(width-1).
  rest += letters / 26 * 10;
  std::string text(static_cast<std::size_t>(width), '0');
  for (int k = width - 1; k >= 0; --k) {
    text[static_cast<std::size_t>(k)] = digits[rest % 36];
    rest /= 36;
  }
  return text;
}

const Format& pdb_format() {
  static const Format format{"pdb",
                             "PDB",
                             {".pdb"},
                             {.needs_bonds = true, .species = true, .cell = true},
                             nullptr,
                             pdb_writer};
  return format;
}

}  // namespace swnt
