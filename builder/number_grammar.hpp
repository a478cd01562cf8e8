// The number grammar of option values and the chirality: leading white
// space, an optional sign, digits (for reals with an optional point and
// fraction and an optional exponent).  Reading stops at the first character
// that does not fit, trailing characters are ignored, and a text without a
// number reads as 0.  Nothing else is accepted ("nan", "inf" and "0x10" read
// as 0).
#pragma once

#include <string_view>

namespace swnt {

struct ParsedInt {
  int value = 0;
  bool overflow = false;  // the digits do not fit a 32-bit integer
};

struct ParsedReal {
  double value = 0.0;
  bool overflow = false;  // the number is beyond the range of a double
};

ParsedInt parse_int_value(std::string_view text);
ParsedReal parse_real_value(std::string_view text);

}  // namespace swnt
