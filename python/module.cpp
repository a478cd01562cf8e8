// The Python module swnt (as swnt._swnt, re-exported by the package): the
// tubes of wrapping and the files of topoconv as Python objects with numpy
// arrays.  This file only binds: it turns Python arguments into the plain
// values of structure.hpp, runs the libraries without the GIL, hands their
// Errors to Python as exceptions and their warnings to Python's warnings
// module, and shows C++ storage as read-only numpy views.  It never prints.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text_format.hpp"
#include "core/topology.hpp"
#include "files/file_errors.hpp"
#include "files/forcefield_file.hpp"
#include "formats/registry.hpp"
#include "python/structure.hpp"

namespace py = pybind11;
using namespace pybind11::literals;

namespace swnt {

namespace {

// The module's exception and warning classes, made at import.
PyObject* g_error = nullptr;       // swnt.Error, a ValueError
PyObject* g_file_error = nullptr;  // swnt.FileError, an OSError
PyObject* g_warning = nullptr;     // swnt.SwntWarning, a UserWarning

// A program's message without its "Error: " or "Warning: " and its final
// line end: what the exception or warning says.
std::string message_text(std::string_view text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) == prefix) text.remove_prefix(prefix.size());
  if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
  return std::string(text);
}

// Raises swnt.Error with a message of the module's own (an argument the
// programs have no option for).
[[noreturn]] void fail(const std::string& message) { throw Error("Error: " + message + "\n"); }

// The warnings a library hands to its Log while the GIL is released, given
// to Python's warnings module afterwards, in order.
class Warnings {
 public:
  Log log() {
    return [this](std::string_view text) { pending_ += text; };
  }
  // Each whole line becomes one warning; a warning turned into an error by
  // the filters raises here.
  void emit() {
    std::size_t start = 0;
    while (start < pending_.size()) {
      std::size_t end = pending_.find('\n', start);
      if (end == std::string::npos) end = pending_.size();
      const std::string text =
          message_text(std::string_view(pending_).substr(start, end - start), "Warning: ");
      start = end + 1;
      if (PyErr_WarnEx(g_warning, text.c_str(), 1) != 0) throw py::error_already_set();
    }
    pending_.clear();
  }

 private:
  std::string pending_;
};

// Runs `work(log)` without the GIL; its warnings then go to Python, before
// an exception it ended with.
template <class Work>
void run_released(Work&& work) {
  Warnings warnings;
  const Log log = warnings.log();
  std::exception_ptr failure;
  {
    py::gil_scoped_release release;
    try {
      work(log);
    } catch (...) {
      failure = std::current_exception();
    }
  }
  warnings.emit();
  if (failure) std::rethrow_exception(failure);
}

// ---------------------------------------------------------------- arguments

std::string type_name(const py::handle& object) {
  return py::str(py::type::handle_of(object).attr("__name__"));
}

// A file name: str, bytes or os.PathLike.
std::string path_of(const py::object& path, const char* what) {
  const py::object os = py::module_::import("os");
  py::object name;
  try {
    name = os.attr("fspath")(path);
  } catch (py::error_already_set&) {
    throw py::type_error(std::string(what) + " must be a path (str, bytes or os.PathLike), not " +
                         type_name(path));
  }
  if (py::isinstance<py::bytes>(name)) return std::string(py::bytes(name));
  return py::str(name);
}

int axis_of(const py::object& axis) {
  if (!py::isinstance<py::str>(axis)) {
    throw py::type_error("axis must be \"x\", \"y\" or \"z\", not " + type_name(axis));
  }
  const std::string text = py::str(axis);
  if (text == "x" || text == "X") return 0;
  if (text == "y" || text == "Y") return 1;
  if (text == "z" || text == "Z") return 2;
  fail("unknown axis <" + printable(text) + ">: x, y or z");
}

// Periodic axes: "z", "xz", "none" as topoconv's --periodic takes them, or
// three booleans (ASE's pbc).
PeriodicAxes axes_of(const py::object& periodic) {
  PeriodicAxes axes{false, false, false};
  if (py::isinstance<py::str>(periodic)) {
    const std::string text = py::str(periodic);
    if (!parse_axes(text, axes)) {
      fail("unknown periodic axes <" + printable(text) + ">: one or more of x, y, z, or none");
    }
    return axes;
  }
  if (!py::isinstance<py::sequence>(periodic)) {
    throw py::type_error(
        "periodic must be axes such as \"z\" or three booleans, not " + type_name(periodic));
  }
  const auto flags = py::reinterpret_borrow<py::sequence>(periodic);
  if (py::len(flags) != 3) fail("periodic takes three booleans, one per axis x, y, z");
  for (int a = 0; a < 3; ++a) axes[a] = py::bool_(flags[static_cast<std::size_t>(a)]);
  return axes;
}

// A positive finite length in Angstrom, as topoconv's --cutoff and --ch take it.
double length_of(double value, const char* what) {
  if (!std::isfinite(value) || !(value > 0.0)) {
    fail(format_text("invalid %s <%g>: a positive finite number of Angstrom", what, value));
  }
  return value;
}

// The directory of the structure tables shipped with the module.
std::string table_directory() {
  const py::object file = py::module_::import("swnt._swnt").attr("__file__");
  const py::object os_path = py::module_::import("os.path");
  return py::str(os_path.attr("join")(os_path.attr("dirname")(file), "tables", ""));
}

struct LatticeChoice {
  std::string name;   // "ideal", "rebo", "tb" or the table's path
  std::string table;  // empty for the ideal lattice
};

LatticeChoice lattice_of(const py::object& lattice) {
  if (py::isinstance<py::str>(lattice)) {
    const std::string name = py::str(lattice);
    if (name == "ideal") return {name, ""};
    if (name == "rebo") return {name, table_directory() + "optbre.dat"};
    if (name == "tb") return {name, table_directory() + "opttb.dat"};
  }
  if (!py::isinstance<py::str>(lattice) && !py::isinstance<py::bytes>(lattice) &&
      !py::hasattr(lattice, "__fspath__")) {
    throw py::type_error(
        "lattice must be \"ideal\", \"rebo\", \"tb\" or the path of a structure table file, not " +
        type_name(lattice));
  }
  const std::string path = path_of(lattice, "lattice");
  return {path, path};
}

TubeRequest tube_request(int n, int m, std::optional<double> cells, std::optional<double> length,
                         const py::object& lattice, std::optional<double> bond,
                         const py::object& axis, bool centred, const Position3& shift,
                         double axial_scale, double diameter_scale) {
  TubeRequest request;
  request.n = n;
  request.m = m;
  const LatticeChoice choice = lattice_of(lattice);
  request.table = choice.table;
  if (bond) {
    if (!request.table.empty()) fail("bond sets the ideal lattice; lattice=\"" + printable(choice.name) + "\" is a structure table");
    request.bond = length_of(*bond, "bond length");
  }
  if (cells && length) fail("give cells or length, not both");
  if (cells && !(std::isfinite(*cells) && *cells > 0.0)) {
    fail(format_text("invalid cells <%g>: a positive finite number of unit cells", *cells));
  }
  if (length && !(std::isfinite(*length) && *length > 0.0)) {
    fail(format_text("invalid length <%g>: a positive finite number of Angstrom", *length));
  }
  request.cells = cells;
  request.length = length;
  request.axis = axis_of(axis);
  request.centred = centred;
  request.shift = shift;
  request.axial_scale = axial_scale;
  request.diameter_scale = diameter_scale;
  return request;
}

// ---------------------------------------------------------------- arrays

// A read-only numpy view on memory that `owner` keeps alive.
template <class T>
py::array view(const py::object& owner, const T* data, std::vector<py::ssize_t> shape) {
  static const T empty{};
  std::vector<py::ssize_t> strides(shape.size(), static_cast<py::ssize_t>(sizeof(T)));
  for (std::size_t k = shape.size(); k-- > 1;) strides[k - 1] = strides[k] * shape[k];
  py::array array(py::dtype::of<T>(), shape, strides, data != nullptr ? data : &empty, owner);
  array.attr("setflags")("write"_a = false);
  return array;
}

py::array positions_view(const py::object& owner, const std::vector<Position3>& positions) {
  return view(owner, positions.empty() ? nullptr : positions.front().data(),
              {static_cast<py::ssize_t>(positions.size()), 3});
}

// The element symbols, one per atom, as a numpy array of str.
py::array species_array(const std::vector<std::uint8_t>& kinds, std::size_t atoms,
                        const std::vector<Species>& species) {
  py::array array(py::dtype("<U1"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(atoms)});
  auto* codes = static_cast<std::uint32_t*>(array.mutable_data());
  for (std::size_t i = 0; i < atoms; ++i) {
    codes[i] = static_cast<unsigned char>(species[kinds.empty() ? 0 : kinds[i]].symbol[0]);
  }
  return array;
}

const std::vector<Species> kCarbonAndHydrogen{kCarbon, kHydrogen};

py::array cell_array(const Position3& lengths) {
  py::array_t<double> cell({3, 3});
  auto c = cell.mutable_unchecked<2>();
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) c(a, b) = a == b ? lengths[a] : 0.0;
  }
  return cell;
}

py::array pbc_array(const PeriodicAxes& periodic) {
  py::array_t<bool> pbc(3);
  for (int a = 0; a < 3; ++a) pbc.mutable_at(a) = periodic[a];
  return pbc;
}

// An ase.Atoms of the atoms; ase is imported here only.
py::object ase_atoms(const py::object& positions, const std::vector<std::uint8_t>& kinds,
                     std::size_t atoms, const Position3& lengths, const PeriodicAxes& periodic) {
  const py::object Atoms = py::module_::import("ase").attr("Atoms");
  py::array_t<std::int64_t> numbers(static_cast<py::ssize_t>(atoms));
  std::int64_t* number = numbers.mutable_data();
  for (std::size_t i = 0; i < atoms; ++i) number[i] = (!kinds.empty() && kinds[i] == 1) ? 1 : 6;
  return Atoms("numbers"_a = numbers, "positions"_a = positions, "cell"_a = cell_array(lengths),
               "pbc"_a = pbc_array(periodic));
}

// ---------------------------------------------------------------- topology

// A topology with its terms as numpy arrays, each made once when first asked
// for and kept, so that its views stay valid.
class TopologyObject {
 public:
  Topology topology;

  const std::vector<std::int32_t>& bonds() {
    return cached(bonds_, [&](std::vector<std::int32_t>& out) {
      out.reserve(2 * topology.bonds.size());
      for (const AtomPair& bond : topology.bonds) {
        out.push_back(static_cast<std::int32_t>(bond.first));
        out.push_back(static_cast<std::int32_t>(bond.second));
      }
    });
  }
  const std::vector<std::int32_t>& angles() {
    return cached(angles_, [&](std::vector<std::int32_t>& out) {
      out.reserve(3 * topology.angle_count());
      topology.for_each_angle([&](auto... atoms) { (out.push_back(static_cast<std::int32_t>(atoms)), ...); });
    });
  }
  const std::vector<std::int32_t>& dihedrals() {
    return cached(dihedrals_, [&](std::vector<std::int32_t>& out) {
      topology.for_each_dihedral([&](auto... atoms) { (out.push_back(static_cast<std::int32_t>(atoms)), ...); });
    });
  }
  const std::vector<std::int32_t>& impropers() {
    return cached(impropers_, [&](std::vector<std::int32_t>& out) {
      out.reserve(4 * topology.improper_count());
      topology.for_each_improper([&](auto... atoms) { (out.push_back(static_cast<std::int32_t>(atoms)), ...); });
    });
  }
  const std::vector<std::int32_t>& molecules() {
    return cached(molecules_, [&](std::vector<std::int32_t>& out) {
      out.reserve(topology.molecule.size());
      for (const std::uint32_t molecule : topology.molecule) {
        out.push_back(static_cast<std::int32_t>(molecule) - 1);
      }
    });
  }

 private:
  // Filled with the GIL held, which makes one thread fill each at a time.
  struct Cache {
    bool made = false;
    std::vector<std::int32_t> values;
  };
  template <class Fill>
  const std::vector<std::int32_t>& cached(Cache& cache, Fill&& fill) {
    if (!cache.made) {
      cache.values.clear();
      fill(cache.values);
      cache.made = true;
    }
    return cache.values;
  }
  Cache bonds_, angles_, dihedrals_, impropers_, molecules_;
};

py::array terms_view(const py::object& owner, const std::vector<std::int32_t>& values, int width) {
  return view(owner, values.empty() ? nullptr : values.data(),
              {static_cast<py::ssize_t>(values.size() / static_cast<std::size_t>(width)), width});
}

TopologySettings topology_settings(const Structure& structure, double cutoff,
                                   const py::object& periodic, bool trim, bool hydrogenate,
                                   std::optional<double> ch) {
  TopologySettings settings;
  settings.cutoff = length_of(cutoff, "cut-off");
  settings.periodic = periodic.is_none() ? structure.periodic : axes_of(periodic);
  settings.trim = trim;
  settings.hydrogenate = hydrogenate;
  if (ch) {
    if (!hydrogenate) fail("ch sets the C-H distance of hydrogenate=True, which is not given");
    settings.hydrogen_distance = length_of(*ch, "C-H distance");
  }
  return settings;
}

// ---------------------------------------------------------------- structure

py::dict info_of(const Structure& structure) {
  py::dict info;
  info["atoms"] = structure.positions.size();
  if (!structure.tube) {
    std::size_t hydrogens = 0;
    for (const std::uint8_t kind : structure.kinds) hydrogens += kind == 1 ? 1 : 0;
    info["carbons"] = structure.positions.size() - hydrogens;
    info["hydrogens"] = hydrogens;
    return info;
  }
  const TubeFacts& tube = *structure.tube;
  const LatticeParams& l = tube.lattice;
  const StructureParams& s = tube.params.structure;
  const auto pair = [](const Vec2& v) { return py::make_tuple(v.x, v.y); };
  info["n"] = l.n;
  info["m"] = l.m;
  info["diameter"] = l.diameter;
  info["chiral_angle"] = l.chiralangle;
  info["atoms_per_cell"] = l.natom;
  info["hexagons_per_cell"] = l.nhex;
  info["T"] = l.lent;
  info["unit_cell_length"] = l.lencell;
  info["circumference"] = l.lench;
  info["Ch_vector"] = pair(l.Ch);
  info["T_vector"] = pair(l.T);
  info["t1"] = l.t1;
  info["t2"] = l.t2;
  info["dr"] = l.dr;
  info["va1"] = pair(s.va1);
  info["va2"] = pair(s.va2);
  info["vab"] = pair(s.vab);
  info["table"] = tube.table.empty() ? py::object(py::none()) : py::object(py::str(tube.table));
  info["cells"] = tube.params.cells;
  info["length"] = tube.length;
  info["periodic"] = structure.periodic[tube.params.axis];
  info["axis"] = std::string(1, "xyz"[tube.params.axis]);
  info["report"] = structure_report(s, l);
  return info;
}

py::object structure_object(Structure&& structure) {
  return py::cast(std::move(structure), py::return_value_policy::move);
}

const Format& format_for(const std::string& path, const py::object& format) {
  const auto any = [](const Format&) { return true; };
  const auto frames = writes_frames;
  if (!format.is_none()) {
    if (!py::isinstance<py::str>(format)) {
      throw py::type_error("format must be a format name, not " + type_name(format));
    }
    const std::string name = py::str(format);
    const Format* found = find_format(name);
    if (found == nullptr) {
      fail("unknown format <" + printable(name) + ">: " + format_names(any) + ".");
    }
    return *found;
  }
  // As topoconv chooses: the formats with a topology first (.xyz is extended
  // XYZ), then the others by their extensions.
  const Format* found = format_of_file(path, frames);
  if (found == nullptr) found = format_of_file(path, any);
  if (found == nullptr) {
    fail("the format of <" + printable(path) + "> is not known from its name: give format= " +
         format_names(any) + ".");
  }
  return *found;
}

void write_method(const py::object& self, const py::object& path_object, const py::object& format_name,
           const py::object& style, const py::object& periodic, std::optional<double> cutoff,
           bool trim, bool hydrogenate, std::optional<double> ch, const py::object& forcefield,
           bool terms, const py::object& source) {
  const Structure& structure = self.cast<const Structure&>();
  WriteRequest request;
  request.path = path_of(path_object, "path");
  request.format = &format_for(request.path, format_name);
  const Format& format = *request.format;
  const bool frames = writes_frames(format);
  if (!frames && (!style.is_none() || !periodic.is_none() || cutoff || trim || hydrogenate || ch ||
                  !forcefield.is_none() || !terms)) {
    fail("style, periodic, cutoff, trim, hydrogenate, ch, forcefield and terms belong to the formats "
         "with a topology (" + format_names(writes_frames, ", ", ", ") + "), not to " +
         std::string(format.name));
  }
  // A shipped set by its name, or a parameter file, as topoconv's --forcefield.
  const std::string forcefield_name = forcefield.is_none() ? "" : path_of(forcefield, "forcefield");
  request.frames.terms = terms;
  if (frames) {
    request.topology = topology_settings(structure, cutoff.value_or(kBondCutoff), periodic, trim,
                                         hydrogenate, ch);
    request.frames.periodic = request.topology.periodic;
    if (!style.is_none()) {
      if (!py::isinstance<py::str>(style)) {
        throw py::type_error("style must be \"full\", \"molecular\" or \"atomic\", not " +
                             type_name(style));
      }
      const std::string text = py::str(style);
      if (!parse_lammps_style(text, request.frames.style)) {
        fail("unknown style <" + printable(text) + ">: full, molecular or atomic.");
      }
    }
  }
  if (source.is_none()) {
    request.source = structure.description;
  } else if (py::isinstance<py::str>(source)) {
    request.source = py::str(source);
  } else {
    throw py::type_error("source must be a str, not " + type_name(source));
  }
  if (format.convert != nullptr) {
    request.scratch_directory = py::str(py::module_::import("tempfile").attr("gettempdir")());
  }
  run_released([&](const Log& log) {
    std::optional<ForceField> parameters;
    if (!forcefield_name.empty()) {
      parameters = load_forcefield(forcefield_name);
      request.frames.forcefield = &*parameters;
    }
    write_structure(structure, request, log);
  });
}

Structure from_ase(const py::object& atoms) {
  if (!py::hasattr(atoms, "get_positions") || !py::hasattr(atoms, "get_atomic_numbers") ||
      !py::hasattr(atoms, "get_cell") || !py::hasattr(atoms, "get_pbc")) {
    throw py::type_error("from_ase() takes an ase.Atoms object, not " + type_name(atoms));
  }
  const auto positions =
      py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(atoms.attr("get_positions")());
  const auto numbers =
      py::array_t<std::int64_t, py::array::c_style | py::array::forcecast>::ensure(
          atoms.attr("get_atomic_numbers")());
  const auto cell = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(
      py::module_::import("numpy").attr("asarray")(atoms.attr("get_cell")()));
  const py::object pbc = atoms.attr("get_pbc")();
  if (!positions || positions.ndim() != 2 || positions.shape(1) != 3 || !numbers ||
      numbers.ndim() != 1 || numbers.shape(0) != positions.shape(0) || !cell ||
      cell.ndim() != 2 || cell.shape(0) != 3 || cell.shape(1) != 3) {
    throw py::type_error("from_ase() takes an ase.Atoms object: its positions, numbers or cell "
                         "have the wrong shape");
  }
  Structure structure;
  const auto count = static_cast<std::size_t>(positions.shape(0));
  if (count > static_cast<std::size_t>(INT32_MAX)) fail("more than 2147483647 atoms");
  structure.positions.resize(count);
  structure.kinds.resize(count);
  const double* p = positions.data();
  const std::int64_t* z = numbers.data();
  std::size_t hydrogens = 0;
  for (std::size_t i = 0; i < count; ++i) {
    for (int a = 0; a < 3; ++a) {
      const double c = p[3 * i + static_cast<std::size_t>(a)];
      if (!std::isfinite(c)) {
        fail(format_text("atom %zu has a coordinate that is not a finite number", i + 1));
      }
      structure.positions[i][static_cast<std::size_t>(a)] = c;
    }
    if (z[i] != 6 && z[i] != 1) {
      const std::string symbol = py::str(atoms.attr("get_chemical_symbols")()[py::int_(i)]);
      fail(format_text("atom %zu is %s: swnt takes carbon and hydrogen atoms", i + 1,
                       printable(symbol).c_str()));
    }
    structure.kinds[i] = z[i] == 1 ? 1 : 0;
    hydrogens += z[i] == 1 ? 1 : 0;
  }
  if (hydrogens == 0) structure.kinds.clear();
  const auto c = cell.unchecked<2>();
  for (int a = 0; a < 3; ++a) {
    for (int b = 0; b < 3; ++b) {
      if (a != b && c(a, b) != 0.0) {
        fail("the cell is not orthogonal: swnt takes a cell whose three vectors lie along x, y "
             "and z (a diagonal cell matrix)");
      }
    }
    if (!std::isfinite(c(a, a)) || c(a, a) < 0.0) {
      fail(format_text("the cell's length along %c is %g: a cell length is finite and not "
                       "negative", "xyz"[a], c(a, a)));
    }
    structure.box[static_cast<std::size_t>(a)] = c(a, a);
  }
  structure.periodic = axes_of(pbc);
  structure.description = format_text("C%zu", count - hydrogens);
  if (hydrogens > 0) structure.description += format_text("H%zu", hydrogens);
  return structure;
}

}  // namespace

}  // namespace swnt

PYBIND11_MODULE(_swnt, m) {
  using namespace swnt;
  m.doc() = "Atomic models of single-walled carbon nanotubes: the tubes of wrapping and the "
            "files of topoconv as Python objects with numpy arrays.";
  m.attr("__version__") = SWNT_VERSION;

  g_error = PyErr_NewExceptionWithDoc(
      "swnt.Error",
      "A value the tools refuse: the message is that of the programs' \"Error: \" line.",
      PyExc_ValueError, nullptr);
  g_file_error = PyErr_NewExceptionWithDoc(
      "swnt.FileError", "A file that cannot be read or written (an OSError).", PyExc_OSError,
      nullptr);
  g_warning = PyErr_NewExceptionWithDoc(
      "swnt.SwntWarning",
      "A doubtful finding, the programs' \"Warning: \" lines (a UserWarning).", PyExc_UserWarning,
      nullptr);
  if (g_error == nullptr || g_file_error == nullptr || g_warning == nullptr) {
    throw py::error_already_set();
  }
  m.attr("Error") = py::handle(g_error);
  m.attr("FileError") = py::handle(g_file_error);
  m.attr("SwntWarning") = py::handle(g_warning);
  py::register_exception_translator([](std::exception_ptr failure) {
    try {
      if (failure) std::rethrow_exception(failure);
    } catch (const FileError& error) {
      PyErr_SetString(g_file_error, message_text(error.what(), "Error: ").c_str());
    } catch (const Error& error) {
      PyErr_SetString(g_error, message_text(error.what(), "Error: ").c_str());
    }
  });

  py::class_<TopologyObject>(m, "Topology", R"doc(
The bonded topology of a structure, as topoconv writes it: the bonds found by
distance (through the periodic boundaries too), the angles, dihedrals and
impropers they imply, and the molecules.  Atoms are numbered from 0; every
array is a read-only view kept alive by this object.)doc")
      .def_property_readonly(
          "bonds", [](py::object self) { return terms_view(self, self.cast<TopologyObject&>().bonds(), 2); },
          "(M, 2) int32: the bonded pairs, lower atom first, sorted.")
      .def_property_readonly(
          "angles", [](py::object self) { return terms_view(self, self.cast<TopologyObject&>().angles(), 3); },
          "(K, 3) int32: i, centre, k for every two bonds that share an atom.")
      .def_property_readonly(
          "dihedrals",
          [](py::object self) { return terms_view(self, self.cast<TopologyObject&>().dihedrals(), 4); },
          "(K, 4) int32: i, j, k, l for every path over a bond j-k.")
      .def_property_readonly(
          "impropers",
          [](py::object self) { return terms_view(self, self.cast<TopologyObject&>().impropers(), 4); },
          "(K, 4) int32: the centre, then its three neighbours, for every atom with three bonds.")
      .def_property_readonly(
          "molecules",
          [](py::object self) {
            const std::vector<std::int32_t>& values = self.cast<TopologyObject&>().molecules();
            return view(self, values.empty() ? nullptr : values.data(),
                        {static_cast<py::ssize_t>(values.size())});
          },
          "(N,) int32: each atom's molecule, numbered from 0 in the order of their lowest atoms.")
      .def_property_readonly(
          "positions",
          [](py::object self) { return positions_view(self, self.cast<TopologyObject&>().topology.positions); },
          "(N, 3) float64: the atoms as placed in the box (moved into it along the periodic axes; "
          "with hydrogens added by hydrogenate=True).")
      .def_property_readonly(
          "images",
          [](py::object self) {
            const auto& images = self.cast<TopologyObject&>().topology.images;
            return view(self, images.empty() ? nullptr : images.front().data(),
                        {static_cast<py::ssize_t>(images.size()), 3});
          },
          "(N, 3) int32: the image flags; a position as given is positions + images * the cell lengths.")
      .def_property_readonly(
          "species",
          [](const TopologyObject& t) {
            return species_array(t.topology.kind, t.topology.atom_count(), t.topology.species);
          },
          "(N,) str: the element symbols.")
      .def_property_readonly(
          "cell",
          [](const TopologyObject& t) {
            Position3 lengths{};
            for (int a = 0; a < 3; ++a) lengths[a] = t.topology.cell.length(a);
            return cell_array(lengths);
          },
          "(3, 3) float64: the box the files give, as a diagonal matrix.")
      .def_property_readonly(
          "origin",
          [](const TopologyObject& t) {
            py::array_t<double> origin(3);
            for (int a = 0; a < 3; ++a) origin.mutable_at(a) = t.topology.cell.lo[a];
            return origin;
          },
          "(3,) float64: the lower corner of the box.")
      .def_property_readonly(
          "pbc", [](const TopologyObject& t) { return pbc_array(t.topology.cell.periodic); },
          "(3,) bool: the periodic axes.")
      .def("__len__", [](const TopologyObject& t) { return t.topology.atom_count(); },
           "The number of atoms.")
      .def(
          "to_ase",
          [](py::object self) {
            const Topology& t = self.cast<TopologyObject&>().topology;
            Position3 lengths{};
            for (int a = 0; a < 3; ++a) lengths[a] = t.cell.length(a);
            return ase_atoms(positions_view(self, t.positions), t.kind, t.atom_count(), lengths,
                             t.cell.periodic);
          },
          "The atoms as an ase.Atoms (their own copy), with the cell and pbc; imports ase.")
      .def("__repr__", [](const TopologyObject& t) {
        return format_text("<swnt.Topology: %zu atoms, %zu bonds, periodic axes %s>",
                           t.topology.atom_count(), t.topology.bonds.size(),
                           axes_text(t.topology.cell.periodic).c_str());
      });

  py::class_<Structure>(m, "Structure", R"doc(
Atoms of carbon (and hydrogen) in an orthogonal box: a tube made by tube(), or
a structure from from_ase().  Immutable; positions is a read-only view on its
memory, without a copy.)doc")
      .def_property_readonly(
          "positions",
          [](py::object self) { return positions_view(self, self.cast<const Structure&>().positions); },
          "(N, 3) float64, Angstrom: a read-only view on the structure's own memory (no copy); "
          "its base is the structure, which it keeps alive.")
      .def_property_readonly(
          "species",
          [](const Structure& s) { return species_array(s.kinds, s.positions.size(), kCarbonAndHydrogen); },
          "(N,) str: the element symbols (a new array).")
      .def_property_readonly("cell", [](const Structure& s) { return cell_array(s.box); },
                             "(3, 3) float64: the box (wrapping's box for a tube) as a diagonal matrix.")
      .def_property_readonly("pbc", [](const Structure& s) { return pbc_array(s.periodic); },
                             "(3,) bool: the periodic axes (a periodic tube: its axis).")
      .def_property_readonly("info", &info_of,
                             "dict: for a tube its structural parameters as the structure report "
                             "gives them (n, m, diameter, chiral_angle, atoms_per_cell, T, ...), "
                             "the report itself under 'report'; the atom counts otherwise.")
      .def_property_readonly("description", [](const Structure& s) { return s.description; },
                             "str: \"(n,m) SWNT\" for a tube, the formula otherwise; the default "
                             "source that write() names in a LAMMPS file.")
      .def("__len__", [](const Structure& s) { return s.positions.size(); }, "The number of atoms.")
      .def("__repr__",
           [](const Structure& s) {
             return format_text("<swnt.Structure %s: %zu atoms, cell %g x %g x %g, periodic axes %s>",
                                s.description.c_str(), s.positions.size(), s.box[0], s.box[1],
                                s.box[2], axes_text(s.periodic).c_str());
           })
      .def(
          "topology",
          [](const Structure& s, double cutoff, const py::object& periodic, bool trim,
             bool hydrogenate, std::optional<double> ch) {
            const TopologySettings settings = topology_settings(s, cutoff, periodic, trim, hydrogenate, ch);
            auto result = std::make_unique<TopologyObject>();
            run_released([&](const Log& log) { build_topology(s, settings, result->topology, log); });
            return result;
          },
          py::kw_only(), "cutoff"_a = kBondCutoff, "periodic"_a = py::none(), "trim"_a = false,
          "hydrogenate"_a = false, "ch"_a = py::none(),
          R"doc(
The bonded topology of the structure as it stands, as topoconv finds it.

cutoff: bonds are the pairs closer than this (Angstrom, default 1.8).
periodic: the periodic axes ("z", "xz", "none" or three booleans); by default
  the structure's pbc.
trim: remove the atoms with fewer than two bonds, again until none is left.
hydrogenate: trim, then one hydrogen on every carbon with two bonds.
ch: the C-H distance of hydrogenate (default 1.09 Angstrom).
Raises swnt.Error where topoconv ends with an error; its warnings become
swnt.SwntWarning.)doc")
      .def(
          "to_ase",
          [](py::object self) {
            const Structure& s = self.cast<const Structure&>();
            return ase_atoms(positions_view(self, s.positions), s.kinds, s.positions.size(), s.box,
                             s.periodic);
          },
          "The structure as an ase.Atoms (with its own copy of the positions), with the cell and "
          "pbc; imports ase.")
      .def("write", &write_method, "path"_a, "format"_a = py::none(), py::kw_only(),
           "style"_a = py::none(), "periodic"_a = py::none(), "cutoff"_a = py::none(),
           "trim"_a = false, "hydrogenate"_a = false, "ch"_a = py::none(),
           "forcefield"_a = py::none(), "terms"_a = true, "source"_a = py::none(),
           R"doc(
Writes the structure in any format of the registry (see formats()), chosen by
format= or by the extension as topoconv chooses it (.xyz is extended XYZ),
with the bytes the programs write:

- trajectory (.dat, .wrp): the file of `wrapping ... -f path`;
- pv, xmol, tinker: the files of `wrapping ... -p / -xx / -xt` (XMOL and
  TINKER make one file per scene: tube.xyz gives tube001.xyz);
- lammps (.data, .lmp), extxyz (.extxyz, .xyz), pdb (.pdb), gromacs (.top,
  with the coordinates beside it: tube.top gives tube.gro too), psf (.psf,
  with tube.prm, tube.crd and tube.pdb): the files of
  `topoconv [options] trajectory path` run on that trajectory: the positions
  go through its text (6 decimals) first.

style, periodic, cutoff, trim, hydrogenate, ch: as topoconv's options
(periodic by default the structure's pbc).  forcefield: the parameters
written into the file, "default" (or "opls-aa") or the path of a parameter
file, as --forcefield (the GROMACS and psf files carry the default set
without it).  terms=False: no bonded terms, the molecules kept (--terms
none).  source: the trajectory the
LAMMPS title line names (default: the description).  The file is written
under a scratch name and put in place when complete.  Raises swnt.Error,
swnt.FileError; warnings become swnt.SwntWarning.)doc");

  m.def(
      "tube",
      [](int n, int m_index, std::optional<double> cells, std::optional<double> length,
         const py::object& lattice, std::optional<double> bond, const py::object& axis,
         std::optional<bool> periodic, bool centred, const Position3& shift, double axial_scale,
         double diameter_scale) {
        const TubeRequest request = tube_request(n, m_index, cells, length, lattice, bond, axis,
                                                 centred, shift, axial_scale, diameter_scale);
        std::optional<Structure> made;
        run_released([&](const Log&) { made = build_tube(request, periodic); });
        return structure_object(std::move(*made));
      },
      "n"_a, "m"_a, py::kw_only(), "cells"_a = py::none(), "length"_a = py::none(),
      "lattice"_a = "ideal", "bond"_a = py::none(), "axis"_a = "z", "periodic"_a = py::none(),
      "centred"_a = true, "shift"_a = Position3{0.0, 0.0, 0.0}, "axial_scale"_a = 1.0,
      "diameter_scale"_a = 1.0,
      R"doc(
The (n,m) tube as wrapping builds it, as a Structure.

cells: the length in unit cells (need not be whole), or
length: the length in Angstrom (default 20, as wrapping).
lattice: "ideal" (the honeycomb of bond length `bond`, default 1.42 Angstrom),
  "rebo" (the shipped structure table optbre.dat), "tb" (opttb.dat), or the
  path of a structure table file.
axis: "x", "y" or "z" (default z).
periodic: the tube axis periodic; by default when the length is a whole
  number of unit cells (True with any other length is an error).
centred: centred on the origin (wrapping's default, -zm), else inside the box
  from the origin (-zc).
shift, axial_scale, diameter_scale: wrapping's -sx/-sy/-sz, -ra, -rd.

tube(n, m, cells=K, bond=1.44, axis="z") holds the atoms of
`wrapping n m -u K -az`, in the same order.  Raises swnt.Error (and
swnt.FileError for a table) with the programs' messages.)doc");

  m.def(
      "rolling",
      [](int n, int m_index, int steps, std::optional<double> cells, std::optional<double> length,
         const py::object& lattice, std::optional<double> bond, const py::object& axis,
         bool centred, const Position3& shift, double axial_scale, double diameter_scale) {
        TubeRequest request = tube_request(n, m_index, cells, length, lattice, bond, axis, centred,
                                           shift, axial_scale, diameter_scale);
        if (steps < 0) fail(format_text("invalid steps <%d>: zero or more", steps));
        request.steps = steps;
        std::unique_ptr<PreparedTube> tube;
        run_released([&](const Log&) { tube = std::make_unique<PreparedTube>(request); });
        const auto scenes = static_cast<py::ssize_t>(tube->scene_count());
        const auto atoms = static_cast<py::ssize_t>(tube->atom_count());
        py::array_t<double> frames({scenes, atoms, py::ssize_t{3}});
        double* out = frames.mutable_data();
        run_released([&](const Log&) {
          for (py::ssize_t scene = 0; scene < scenes; ++scene) {
            tube->roll(static_cast<int>(scene), out + scene * atoms * 3);
          }
        });
        return frames;
      },
      "n"_a, "m"_a, "steps"_a = 20, py::kw_only(), "cells"_a = py::none(), "length"_a = py::none(),
      "lattice"_a = "ideal", "bond"_a = py::none(), "axis"_a = "z", "centred"_a = true,
      "shift"_a = Position3{0.0, 0.0, 0.0}, "axial_scale"_a = 1.0, "diameter_scale"_a = 1.0,
      R"doc(
The animation of wrapping -w: the flat sheet closing into the (n,m) tube in
`steps` steps, as a (steps + 1, N, 3) float64 array (scene 0 the sheet, the
last the tube).  The other arguments are those of tube().)doc");

  m.def(
      "from_ase", [](const py::object& atoms) { return structure_object(from_ase(atoms)); },
      "atoms"_a,
      R"doc(
A Structure of the atoms of an ase.Atoms (copied): carbon and hydrogen, in an
orthogonal cell (a diagonal cell matrix; a length of 0 on an open axis is
allowed), with its pbc.  Other elements, a tilted cell or coordinates that
are not finite raise swnt.Error; an object that is no ase.Atoms TypeError.)doc");

  m.def(
      "formats",
      [] {
        py::list list;
        for (const Format* format : registered_formats()) {
          py::list extensions;
          for (const std::string_view extension : format->extensions) {
            extensions.append(std::string(extension));
          }
          list.append(py::dict("name"_a = std::string(format->name),
                               "title"_a = std::string(format->title), "extensions"_a = extensions,
                               "topology"_a = writes_frames(*format)));
        }
        return list;
      },
      "The formats write() takes, in the registry's order: dicts of name, title, extensions "
      "and whether it carries the topology.");
}
