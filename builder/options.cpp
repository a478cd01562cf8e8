#include "builder/options.hpp"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "builder/number_grammar.hpp"
#include "core/error.hpp"
#include "core/text_format.hpp"
#include "files/file_errors.hpp"
#include "geometry/lattice.hpp"

namespace swnt {

namespace {

// Option tokens and values, file names: text from the user, shown escaped
// so that a message stays one line.
std::string shown(std::string_view text) { return printable(text); }

Error invalid_option(std::string_view token) {
  return Error(format_text("Error: Invalid argument (option %s).\n", shown(token).c_str()));
}

Error missing_value(std::string_view token) {
  return Error(format_text("Error: no argument (option %s).\n", shown(token).c_str()));
}

Error value_out_of_range(std::string_view token, std::string_view value) {
  return Error(format_text("Error: value <%s> out of range (option %s).\n",
                              shown(value).c_str(), shown(token).c_str()));
}

char fold_case(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The second letter of an option token: the third character of a short
// token, the character after the first ':' of a longer one; '\0' for none.
char second_letter_of(std::string_view token) {
  if (token.size() <= 3) return token.size() == 3 ? token[2] : '\0';
  const std::size_t colon = token.find(':');
  if (colon == std::string_view::npos || colon + 1 == token.size()) return '\0';
  return token[colon + 1];
}

// Option values as numbers; a value whose digits leave the range of the
// field ends the run rather than reaching the geometry as a wrong number.
double real_value(std::string_view token, std::string_view value) {
  const ParsedReal parsed = parse_real_value(value);
  if (parsed.overflow) throw value_out_of_range(token, value);
  return parsed.value;
}

int int_value(std::string_view token, std::string_view value) {
  const ParsedInt parsed = parse_int_value(value);
  if (parsed.overflow) throw value_out_of_range(token, value);
  return parsed.value;
}

void set_default_outfile(WrapOptions& options, const char* extension) {
  if (options.outfile.empty()) {
    options.outfile = options.indir + std::string(kDefaultOutputBase) + extension;
  }
}

constexpr std::size_t kMaxParameterFile = std::size_t{16} << 20;

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

bool is_option(std::string_view token) {
  if (token.empty() || (token[0] != '-' && token[0] != '/')) return false;
  return token.size() < 2 || token[1] < '0' || token[1] > '9';
}

void set_option(std::string_view token, std::string_view value, WrapOptions& options) {
  const char letter = fold_case(token.size() >= 2 ? token[1] : '\0');
  const char second = fold_case(second_letter_of(token));

  if (options.debug) {
    std::string letters;
    if (letter != '\0') {
      letters += letter;
      if (second != '\0') letters += second;
    }
    std::printf(" -- set Param: <-%s>, <%s>\n", shown(letters).c_str(), shown(value).c_str());
  }

  switch (letter) {
    case 'a':
      switch (second) {
        case 'x': options.iaxis = 0; return;
        case 'y': options.iaxis = 1; return;
        case 'z': options.iaxis = 2; return;
        default: throw invalid_option(token);
      }
    case 'b':
      options.lacc = -1.0;
      options.optfile = options.progdir + "optbre.dat";
      return;
    case 'c':
      options.lacc = value.empty() ? kIdealBondLength : real_value(token, value);
      return;
    case 'd':
      options.fprint = 1;
      return;
    case 'f':
      if (value.empty()) throw missing_value(token);
      options.outfile = std::string(value);
      return;
    case 'g':
      if (value.empty()) throw missing_value(token);
      options.lacc = -1.0;
      options.optfile = std::string(value);
      return;
    case 'l':
      if (value.empty()) throw missing_value(token);
      options.lenunit = -real_value(token, value);
      return;
    case 'p':
      options.fchange = 1;
      set_default_outfile(options, ".pv");
      return;
    case 'r':
      switch (second) {
        case 'a': options.magaxis = real_value(token, value); return;
        case 'd': options.magdiam = real_value(token, value); return;
        default: throw invalid_option(token);
      }
    case 's':
      switch (second) {
        case 'x': options.shiftx = real_value(token, value); return;
        case 'y': options.shifty = real_value(token, value); return;
        case 'z': options.shiftz = real_value(token, value); return;
        default: throw invalid_option(token);
      }
    case 't':
      options.lacc = -1.0;
      options.optfile = options.progdir + "opttb.dat";
      return;
    case 'u':
      if (value.empty()) throw missing_value(token);
      options.lenunit = std::fabs(real_value(token, value));
      return;
    case 'w':
      options.nwrap = value.empty() ? 20 : int_value(token, value);
      return;
    case 'x':
      switch (second) {
        case 'x': options.fchange = 2; break;
        case 't': options.fchange = 3; break;
        default: throw invalid_option(token);
      }
      set_default_outfile(options, ".xyz");
      return;
    case 'z':
      switch (second) {
        case 'c': options.fcenter = 0; return;
        case 'm': options.fcenter = 1; return;
        default: throw invalid_option(token);
      }
    default:
      throw invalid_option(token);
  }
}

void set_parameters(const std::vector<std::string>& args, WrapOptions& options) {
  if (options.debug) {
    std::printf("\n");
    std::printf("Set parameters.\n");
  }
  if (args.size() < 3) throw Error("Error: no chirality (n m) given.\n");

  int* const fields[2] = {&options.cn, &options.cm};
  for (std::size_t k = 0; k < 2; ++k) {
    const ParsedInt parsed = parse_int_value(args[k + 1]);
    if (parsed.overflow) {
      throw Error(
          format_text("Error: chirality index out of range: <%s>\n", shown(args[k + 1]).c_str()));
    }
    *fields[k] = parsed.value;
  }
  check_chirality(options.cn, options.cm);
  if (options.debug) std::printf(" -- chirality = (%d,%d).\n", options.cn, options.cm);

  std::size_t i = 3;
  while (i < args.size()) {
    const std::string& entry = args[i];
    if (!is_option(entry)) {
      throw Error(format_text("Error: incorrect arguments: <%s>\n", shown(entry).c_str()));
    }
    // Any following token that is not an option is this option's value,
    // whether or not the option uses one.
    if (i + 1 == args.size() || is_option(args[i + 1])) {
      set_option(entry, "", options);
      i += 1;
    } else {
      set_option(entry, args[i + 1], options);
      i += 2;
    }
  }
}

std::vector<std::string> tokenize_parameter_file(const std::string& file_path,
                                                 const std::string& program_path) {
  const Error access_error(
      format_text("Error: file access failed for <%s>\n", shown(file_path).c_str()));
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(file_path.c_str(), "rb"));
  if (!file) throw access_error;

  // The file is read as text: a carriage return that stands directly before
  // a line feed is part of the line end and is dropped.
  std::string text;
  char block[65536];
  std::size_t got = 0;
  while ((got = std::fread(block, 1, sizeof block, file.get())) > 0) {
    for (std::size_t k = 0; k < got; ++k) {
      if (block[k] == '\n' && !text.empty() && text.back() == '\r') text.back() = '\n';
      else text.push_back(block[k]);
    }
    // A parameter file holds a few hundred bytes; an endless one (a device
    // such as /dev/zero) must not take all memory.
    if (text.size() > kMaxParameterFile) {
      throw Error(format_text("Error: parameter file <%s> is larger than %zu bytes.\n",
                                 shown(file_path).c_str(), kMaxParameterFile));
    }
  }
  if (std::ferror(file.get())) throw access_error;

  std::vector<std::string> tokens{program_path};
  std::string token;
  bool in_token = false;
  // A token is a C string in the program's own terms: a zero byte ends its text.
  auto end_token = [&]() {
    if (!in_token) return;
    tokens.push_back(token.substr(0, token.find('\0')));
    token.clear();
    in_token = false;
  };

  std::size_t i = 0;
  while (i < text.size()) {
    const char c = text[i++];
    if (static_cast<unsigned char>(c) >= 0x80) {
      // A double-byte character is removed whole.
      if (i < text.size()) ++i;
    } else if (c == ' ' || c == ',' || c == '\n') {
      end_token();
    } else if (c == '#') {
      // A comment runs to the end of its line, which it swallows and which
      // ends a token in progress like any line end.
      end_token();
      const std::size_t line_end = text.find('\n', i);
      i = line_end == std::string::npos ? text.size() : line_end + 1;
    } else if (c == '"') {
      end_token();
      const std::size_t close = text.find('"', i);
      if (close == std::string::npos) {
        throw Error(format_text("Error: unterminated quoted token in file <%s>\n",
                                   shown(file_path).c_str()));
      }
      in_token = true;
      token = text.substr(i, close - i);
      end_token();
      i = close + 1;
    } else {
      token.push_back(c);
      in_token = true;
    }
  }
  end_token();
  return tokens;
}

void read_parameter_file(const std::string& program_path, const std::string& file_path,
                         WrapOptions& options) {
  if (options.debug) {
    std::printf("\n");
    std::printf("Read parameters from file <%s>.\n", shown(file_path).c_str());
  }
  const std::vector<std::string> tokens = tokenize_parameter_file(file_path, program_path);
  if (options.debug) {
    for (const std::string& token : tokens) std::printf(" -- Token: <%s>\n", shown(token).c_str());
  }
  if (tokens.size() < 3) {
    throw Error(
        format_text("Error: no chirality (n m) in file <%s>\n", shown(file_path).c_str()));
  }
  set_parameters(tokens, options);
}

void print_options(const WrapOptions& options) {
  std::printf("\n");
  std::printf("Options are:\n");
  std::printf(" -- (cn,cm) = (%d,%d)\n", options.cn, options.cm);
  std::printf(" -- lacc    = %lf\n", options.lacc);
  std::printf(" -- optfile = %s\n", shown(options.optfile).c_str());
  std::printf(" -- outfile = %s\n", shown(options.outfile).c_str());
  std::printf(" -- nwrap   = %d\n", options.nwrap);
  std::printf(" -- iaxis   = %d\n", options.iaxis);
  std::printf(" -- magaxis = %lf\n", options.magaxis);
  std::printf(" -- magdiam = %lf\n", options.magdiam);
  std::printf(" -- shiftx  = %lf\n", options.shiftx);
  std::printf(" -- shifty  = %lf\n", options.shifty);
  std::printf(" -- shiftz  = %lf\n", options.shiftz);
  std::printf(" -- lenunit = %lf\n", options.lenunit);
  std::printf(" -- fprint  = %d\n", options.fprint);
  std::printf(" -- fcenter = %d\n", options.fcenter);
  std::printf(" -- fchange = %d\n", options.fchange);
}

}  // namespace swnt
