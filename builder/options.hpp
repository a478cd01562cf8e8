// The settings of one wrapping run and the two ways of filling them: the
// command line (n, m, options) or a parameter file holding the same tokens.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/program.hpp"

#ifndef SWNT_DEBUG_MODE
#define SWNT_DEBUG_MODE 0
#endif
#ifndef SWNT_CHECK_MODE
#define SWNT_CHECK_MODE 0
#endif

namespace swnt {

// Debug mode and check mode are fixed settings of the build; no option sets them.
inline constexpr bool kBuildDebugMode = SWNT_DEBUG_MODE != 0;
inline constexpr bool kBuildCheckMode = SWNT_CHECK_MODE != 0;

struct WrapOptions {
  int cn = 0;                 // chirality index n
  int cm = 0;                 // chirality index m
  double lacc = 1.44;         // bond length; <= 0 asks for the structure table file
  std::string optfile;        // structure table file
  std::string outfile;        // final output; empty = default name at output time
  int nwrap = 0;              // wrapping steps (scenes - 1); negative = reports only
  int iaxis = 0;              // tube axis: 0 = x, 1 = y, 2 = z
  double magaxis = 1.0;       // scale along the axis
  double magdiam = 1.0;       // scale of the diameter
  double shiftx = 0.0;
  double shifty = 0.0;
  double shiftz = 0.0;
  double lenunit = -20.0;     // >= 0: unit cells; < 0: minus a length in Angstrom
  int fprint = 0;             // 1 = print the structure report
  int fcenter = 1;            // non-zero = centred on the origin
  int fchange = 0;            // 0 trajectory, 1 pv, 2 XMOL XYZ, 3 TINKER XYZ
  bool debug = kBuildDebugMode;
  bool check = kBuildCheckMode;
  std::string indir;          // prefix of the default output names
  std::string progdir;        // where the structure table files lie
};

// Base name of the default output names: each output form adds its own
// extension to it (.dat for the trajectory, .pv, .xyz), behind the directory
// of the parameter file when the options came from one.
inline constexpr std::string_view kDefaultOutputBase = "swnt_pos";

// Fills cn, cm and, option by option, the rest of `options` from an argument
// list shaped like a command line (entry 0 the program path, 1 and 2 the
// chirality, then options and values).  Throws Error on any error.
void set_parameters(const std::vector<std::string>& args, WrapOptions& options);

// True when the token starts with '-' or '/' and its second character is not a digit.
bool is_option(std::string_view token);

// Applies one option; `value` is empty when the option has no value.
void set_option(std::string_view token, std::string_view value, WrapOptions& options);

// Splits a parameter file into tokens; entry 0 of the result is
// `program_path`.  Throws Error when the file cannot be read.
std::vector<std::string> tokenize_parameter_file(const std::string& file_path,
                                                 const std::string& program_path);

// Tokenizes the file and applies its tokens like a command line.
void read_parameter_file(const std::string& program_path, const std::string& file_path,
                         WrapOptions& options);

// The option report (printed in debug mode).
void print_options(const WrapOptions& options);

}  // namespace swnt
