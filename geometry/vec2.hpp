// Plane vectors of the graphene sheet and the two routines through which the
// builder computes every projection and length on the sheet.
#pragma once

#include <cmath>

namespace swnt {

struct Vec2 {
  double x = 0.0;
  double y = 0.0;
};

// ax*bx + ay*by, in double precision.
inline double dot_2d(double ax, double ay, double bx, double by) { return ax * bx + ay * by; }

// sqrt(x*x + y*y).
inline double length_2d(double x, double y) { return std::sqrt(x * x + y * y); }

}  // namespace swnt
