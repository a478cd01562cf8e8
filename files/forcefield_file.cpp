#include "files/forcefield_file.hpp"

#include <cstdio>
#include <memory>

#include "core/text_format.hpp"
#include "files/file_errors.hpp"

namespace swnt {

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

std::string shipped_names() {
  std::string names = "default";
  for (const std::string_view name : shipped_forcefield_names()) {
    names += ", ";
    names += name;
  }
  return names;
}

}  // namespace

ForceField load_forcefield(const std::string& name) {
  ForceField forcefield;
  if (shipped_forcefield(name, forcefield)) return forcefield;
  const std::string shown = printable(name);
  const FileError unknown("Error: unknown force field <" + shown + ">: neither a shipped set (" +
                          shipped_names() + ") nor a parameter file that can be read.\n");
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(name.c_str(), "rb"));
  if (!file) throw unknown;
  // One byte more than the limit tells a file at the limit from a larger one.
  std::string text(kMaxForceFieldBytes + 1, '\0');
  const std::size_t got = std::fread(text.data(), 1, text.size(), file.get());
  // A directory opens but cannot be read.
  if (std::ferror(file.get()) != 0) throw unknown;
  if (got > kMaxForceFieldBytes) {
    throw Error(format_text("Error: the force field file %s is larger than %zu bytes: no force "
                            "field is that large.\n",
                            shown.c_str(), kMaxForceFieldBytes));
  }
  text.resize(got);
  return parse_forcefield(text, name);
}

}  // namespace swnt
