// The arithmetic of the stock sums: running totals kept in double, each addition worked
// in ten-thousandths in extended precision, and the conversion back to a fixed-point
// decimal rounded to nearest with ties to even.
#pragma once

#include "binding/fixed_point.h"

namespace rebuild {

// (sum x 10 000 + value) / 10 000, worked in extended precision, stored back as a double.
double addTenThousandths(double sum, binding::FixedPoint value);

// sum x 10 000 rounded to the nearest integer, ties to even. A sum the fixed-point type
// cannot hold (or not a number) throws binding::Error instead of wrapping around.
binding::FixedPoint toFixedPoint(double sum);

}  // namespace rebuild
