// The fixed-point decimal every stock quantity travels in between the tables and the
// rebuild: a signed 64-bit count of ten-thousandths (four decimal places).
#pragma once

#include <cstdint>

namespace binding {

using FixedPoint = std::int64_t;

inline constexpr FixedPoint kFixedPointOne = 10000;
inline constexpr short kFixedPointScale = -4;

}  // namespace binding
