// The command lines of the three converter programs.  Each function takes
// the whole argument vector (program name first), checks the arguments,
// calls its writer once and returns the exit status: 0 when the conversion
// is done, 1 after an argument error or a failed conversion.
#pragma once

#include <string>
#include <vector>

namespace swnt {

// ballconv TRAJECTORY PVFILE [MODE]: MODE starting with 'm' or 'M' keeps the
// coordinates as they stand (the default), 'c' or 'C' centres them in the box.
int run_ballconv(const std::vector<std::string>& args);

// xyzframes TRAJECTORY NAME: one XMOL XYZ file per scene.
int run_xyzframes(const std::vector<std::string>& args);

// linkframes TRAJECTORY NAME: one TINKER XYZ file per scene.
int run_linkframes(const std::vector<std::string>& args);

}  // namespace swnt
