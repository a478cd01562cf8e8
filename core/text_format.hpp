// Text output of numbers with the exact bytes of the printf conversions the
// file formats use, without going through printf for every number.
#pragma once

#include <string>
#include <string_view>

namespace swnt {

// Appends `value` as printf("%*.*f", width, precision, value) would print it.
void append_fixed(std::string& out, double value, int width, int precision);

// Appends `value` as printf("%*lld", width, value) would print it.
void append_int(std::string& out, long long value, int width);

// printf into a std::string (for messages and names of any length).
std::string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Untrusted text (file names, pieces of input files) as it may stand in a
// message: every byte outside printable ASCII becomes "\xNN", so that a
// message stays one line and carries no terminal control bytes.
std::string printable(std::string_view text);

}  // namespace swnt
