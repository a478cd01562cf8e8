// Deciding whether two file names lead to the same file, so that a program
// never writes over a file it reads or reads a file it is about to replace.
#pragma once

#include <string>

namespace swnt {

// True when `a` and `b` name the same file, whether or not it exists yet:
// the same path once made absolute and normalised ("./a.dat" and "a.dat"),
// the same path once the links of its existing part are resolved, or, when
// both exist, the same file (hard links, bind mounts).
bool same_file(const std::string& a, const std::string& b);

// True when writing `output` would replace the existing file `input` (the
// same file by the rule above).  A name that does not exist yet cannot lead
// to an input that exists.
bool overwrites_input(const std::string& output, const std::string& input);

}  // namespace swnt
