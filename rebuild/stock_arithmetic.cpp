#include "rebuild/stock_arithmetic.h"

#include <cfenv>
#include <cmath>

#include "binding/error.h"

namespace rebuild {

double addTenThousandths(double sum, binding::FixedPoint value) {
    const long double scaled = static_cast<long double>(sum) * 10000.0L;
    const long double total = (scaled + static_cast<long double>(value)) / 10000.0L;
    return static_cast<double>(total);
}

binding::FixedPoint toFixedPoint(double sum) {
    const long double scaled = static_cast<long double>(sum) * 10000.0L;
    // Rounding to nearest, ties to even, is the floating-point default; nearbyintl keeps to
    // the current mode without raising the inexact flag.
    const long double rounded = std::nearbyintl(scaled);
    constexpr long double kLimit = 9223372036854775808.0L;  // 2^63
    if (!(rounded >= -kLimit && rounded < kLimit))
        throw binding::Error("Invalid floating point operation");
    return static_cast<binding::FixedPoint>(rounded);
}

}  // namespace rebuild
