// Extended XYZ: per frame the atom count, a line of key=value pairs as ASE
// writes them (the cell as Lattice, the Properties, the pbc flags and the
// cell's Origin, its lower corner), then one line per atom.
#include "core/text_format.hpp"
#include "formats/format.hpp"

namespace swnt {

namespace {

class ExtxyzWriter : public FrameWriter {
 public:
  explicit ExtxyzWriter(bool molecules) : molecules_(molecules) {}

  void write_frame(const Topology& topology, const FrameSource& /*source*/,
                   OutputFile& out) override {
    std::string& text = out.buffer();
    append_int(text, static_cast<long long>(topology.atom_count()), 0);
    text += '\n';
    write_comment_line(topology.cell, molecules_, text);
    const bool molecules = molecules_ && topology.molecule.size() == topology.atom_count();
    for (std::size_t i = 0; i < topology.atom_count(); ++i) {
      text += topology.species[topology.kind[i]].symbol;
      for (const double c : topology.positions[i]) {
        text += ' ';
        append_fixed(text, c, 14, kCoordinateDecimals);
      }
      if (molecules) {
        text += ' ';
        append_int(text, topology.molecule[i], 0);
      }
      text += '\n';
      out.flush_if_full();
    }
  }

 private:
  static void write_comment_line(const Cell& cell, bool molecules, std::string& text) {
    // The three edge vectors, a row each; an orthogonal box's zeros as "0".
    text += "Lattice=\"";
    for (int a = 0; a < 3; ++a) {
      const Position3 edge = cell.vector(a);
      for (int b = 0; b < 3; ++b) {
        if (a + b > 0) text += ' ';
        if (a == b || (!cell.orthogonal() && b < a)) {
          append_fixed(text, edge[b], 0, kCoordinateDecimals);
        } else {
          text += '0';
        }
      }
    }
    text += "\" Properties=species:S:1:pos:R:3";
    if (molecules) text += ":molecule:I:1";
    text += " pbc=\"";
    for (int a = 0; a < 3; ++a) {
      if (a > 0) text += ' ';
      text += cell.periodic[a] ? 'T' : 'F';
    }
    text += "\" Origin=\"";
    for (int a = 0; a < 3; ++a) {
      if (a > 0) text += ' ';
      append_fixed(text, cell.lo[a], 0, kCoordinateDecimals);
    }
    text += "\"\n";
  }

  bool molecules_;
};

std::unique_ptr<FrameWriter> extxyz_writer(const FrameSettings& settings) {
  return std::make_unique<ExtxyzWriter>(settings.molecules);
}

}  // namespace

const Format& extxyz_format() {
  static const Format format{"extxyz",
                             "extended XYZ",
                             {".extxyz", ".xyz"},
                             {.species = true, .cell = true},
                             nullptr,
                             extxyz_writer};
  return format;
}

}  // namespace swnt
