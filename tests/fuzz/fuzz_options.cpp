// Fuzzes the parameter-file tokenizer and the option parser.  The first byte
// picks the form: a parameter file holding the rest, or a command line whose
// arguments are the rest split at zero bytes.  Every run ends either with an
// "Error: " message or with options a tube can be built from: a chirality
// with n != 0 and m <= n whose unit cell counts fit 32 bits, an axis, an
// output form and a placement from their sets, finite numbers, and an output
// name whenever a converted form is chosen.
#include <cmath>
#include <string>
#include <vector>

#include "geometry/lattice.hpp"
#include "builder/options.hpp"
#include "core/error.hpp"
#include "fuzz_support.hpp"

namespace {

void check_options(const swnt::WrapOptions& o) {
  FUZZ_CHECK(o.cn != 0 && o.cm <= o.cn, "chirality rule");
  const swnt::LatticeParams lattice =
      swnt::compute_lattice_params(o.cn, o.cm, swnt::cylindrical_structure(1.44));
  FUZZ_CHECK(lattice.dr >= 1 && lattice.natom > 0 && lattice.natom == 2 * lattice.nhex,
             "unit cell counts");
  FUZZ_CHECK(static_cast<long long>(lattice.t1) * lattice.dr == static_cast<long long>(o.cn) + 2LL * o.cm,
             "t1");
  FUZZ_CHECK(o.iaxis >= 0 && o.iaxis <= 2, "axis");
  FUZZ_CHECK(o.fchange >= 0 && o.fchange <= 3, "output form");
  FUZZ_CHECK(o.fcenter == 0 || o.fcenter == 1, "placement");
  FUZZ_CHECK(o.fprint == 0 || o.fprint == 1, "report flag");
  FUZZ_CHECK(o.fchange == 0 || !o.outfile.empty(), "converted form without an output name");
  FUZZ_CHECK(std::isfinite(o.lacc) && std::isfinite(o.magaxis) && std::isfinite(o.magdiam) &&
                 std::isfinite(o.shiftx) && std::isfinite(o.shifty) && std::isfinite(o.shiftz) &&
                 std::isfinite(o.lenunit),
             "a number that is not finite");
  FUZZ_CHECK(o.lacc > 0.0 || !o.optfile.empty(), "table lattice without a table file");
}

swnt::WrapOptions fresh_options() {
  swnt::WrapOptions options;
  options.progdir = "/opt/swnt/";
  options.optfile = options.progdir + "opttb.dat";
  return options;
}

void check_message(const swnt::Error& error) {
  const std::string message = error.what();
  FUZZ_CHECK(message.rfind("Error: ", 0) == 0 && !message.empty() && message.back() == '\n',
             "error message is not an \"Error: \" line");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace fuzz;
  if (size == 0) return 0;
  silence_stdout();
  const std::string_view text = as_text(data + 1, size - 1);
  const std::string program = "/opt/swnt/wrapping";
  swnt::WrapOptions options = fresh_options();

  if ((data[0] & 1) == 0) {
    const std::string path = (scratch_dir() / "params.txt").string();
    write_bytes(path, text);
    std::vector<std::string> tokens;
    try {
      tokens = swnt::tokenize_parameter_file(path, program);
    } catch (const swnt::Error& error) {
      check_message(error);
      return 0;
    }
    FUZZ_CHECK(!tokens.empty() && tokens[0] == program, "entry 0 is not the program path");
    std::size_t total = 0;
    for (std::size_t k = 1; k < tokens.size(); ++k) {
      FUZZ_CHECK(tokens[k].find('\0') == std::string::npos, "token holds a zero byte");
      total += tokens[k].size();
    }
    FUZZ_CHECK(total <= text.size(), "tokens longer than the file");
    options.indir = swnt::directory_of(path);
    try {
      swnt::read_parameter_file(program, path, options);
      check_options(options);
    } catch (const swnt::Error& error) {
      check_message(error);
    }
    return 0;
  }

  std::vector<std::string> args{program};
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t zero = text.find('\0', start);
    const std::size_t end = zero == std::string_view::npos ? text.size() : zero;
    args.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  try {
    swnt::set_parameters(args, options);
    check_options(options);
  } catch (const swnt::Error& error) {
    check_message(error);
  }
  return 0;
}
