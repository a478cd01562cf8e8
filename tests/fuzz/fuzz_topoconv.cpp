// Fuzzes topoconv on any trajectory: the first byte of the input chooses the
// format, style, periodic axes, scenes and ends, the rest is the trajectory.  Either the
// run fails with nothing left in the output directory but the input, or the
// file it wrote agrees with itself: a LAMMPS data file holds exactly the
// atoms and terms its header counts, each term naming atoms that exist; an
// extended XYZ frame holds the atoms its count line announces.
//
// Built as fuzz_topoconv_xyz (FUZZ_XYZ_INPUT), the rest is an XYZ file
// (in.xyz, extended or plain) instead, and the axes "none" leave the
// periodic axes to the file's pbc flags.
#include <sstream>

#include "converters/topoconv_cli.hpp"
#include "fuzz_support.hpp"

namespace {

using fuzz::fs::path;

// The count in the header line "<count> <what>", or -1 when there is none.
long long header_count(const std::string& text, const std::string& what) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line) && line.find("Masses") == std::string::npos) {
    const std::size_t at = line.find(' ');
    if (at != std::string::npos && line.substr(at + 1) == what) return std::stoll(line.substr(0, at));
  }
  return -1;
}

// The lines of the section under `heading` (up to the next blank line after
// its first line), each checked to name atoms 1 .. atoms after the id and type.
long long section_lines(const std::string& text, const std::string& heading, long long atoms,
                        bool terms) {
  const std::size_t at = text.find("\n" + heading + "\n\n");
  if (at == std::string::npos) return 0;
  std::istringstream in(text.substr(at + heading.size() + 3));
  std::string line;
  long long count = 0;
  while (std::getline(in, line) && !line.empty()) {
    ++count;
    if (!terms) continue;
    std::istringstream fields(line);
    long long id = 0, type = 0, atom = 0;
    fields >> id >> type;
    FUZZ_CHECK(id == count && type >= 1, "term numbered out of order");
    int named = 0;
    while (fields >> atom) {
      FUZZ_CHECK(atom >= 1 && atom <= atoms, "term names an atom that does not exist");
      ++named;
    }
    FUZZ_CHECK(named >= 2 && named <= 4, "term with a wrong number of atoms");
  }
  return count;
}

void check_lammps(const std::string& text, bool bonded) {
  const long long atoms = header_count(text, "atoms");
  FUZZ_CHECK(atoms >= 0, "no atom count");
  FUZZ_CHECK(section_lines(text, bonded ? "Atoms # full" : "Atoms # atomic", atoms, false) == atoms,
             "atom lines differ from the header");
  if (!bonded) return;
  for (const char* kind : {"Bonds", "Angles", "Dihedrals", "Impropers"}) {
    std::string what = kind;
    what[0] = static_cast<char>(what[0] - 'A' + 'a');
    const long long count = header_count(text, what);
    FUZZ_CHECK(count >= 0, "a term count is missing");
    FUZZ_CHECK(section_lines(text, kind, atoms, true) == count, "term lines differ from the header");
  }
}

void check_extxyz(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const long long atoms = std::stoll(line);
    FUZZ_CHECK(std::getline(in, line) && line.find("Lattice=\"") == 0, "no comment line");
    for (long long a = 0; a < atoms; ++a) {
      FUZZ_CHECK(std::getline(in, line) && line.size() > 2, "frame shorter than its count");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fuzz::silence_stdout();
  fuzz::clear_scratch();
  const path& dir = fuzz::scratch_dir();
  const std::uint8_t choice = data[0];
#ifdef FUZZ_XYZ_INPUT
  const std::string input = "in.xyz";
#else
  const std::string input = "in.dat";
#endif
  fuzz::write_bytes(dir / input, fuzz::as_text(data + 1, size - 1));

  const bool lammps = (choice & 1) == 0;
  const bool bonded = (choice & 2) == 0;
  const char* axes[] = {"none", "x", "y", "z", "xz", "xyz", "yz", "xy"};
  const std::string output = (dir / (lammps ? "out.data" : "out.extxyz")).string();
  std::vector<std::string> args{"topoconv", (dir / input).string(), output};
#ifdef FUZZ_XYZ_INPUT
  if (((choice >> 2) & 7) != 0) args.insert(args.end(), {"--periodic", axes[(choice >> 2) & 7]});
#else
  args.insert(args.end(), {"--periodic", axes[(choice >> 2) & 7]});
#endif
  if (lammps) args.insert(args.end(), {"--style", bonded ? "full" : "atomic"});
  if (choice & 32) args.insert(args.end(), {"--scene", "all"});
  if (choice & 64) args.push_back("--hydrogenate");
  if (choice & 128) args.push_back("--trim");
  const int status = swnt::run_topoconv(args);
  FUZZ_CHECK(status == 0 || status == 1, "exit status neither 0 nor 1");

  std::vector<std::string> names = fuzz::scratch_names();
  if (status == 1) {
    // Per-scene LAMMPS files of the scenes before a fault may stay; nothing
    // else, and never a scratch file.
    for (const std::string& name : names) {
      FUZZ_CHECK(name == input || name.find("partial") == std::string::npos,
                 "scratch file left behind");
    }
    return 0;
  }
  if (!fuzz::fs::exists(output)) return 0;  // every scene went to a file of its own
  const std::string text = fuzz::read_bytes(output);
  if (lammps) {
    check_lammps(text, bonded);
  } else {
    check_extxyz(text);
  }
  return 0;
}
