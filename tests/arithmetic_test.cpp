// The stock sums must agree with the shop's figures to the last decimal: additions in
// ten-thousandths, conversion back rounded half to even, and no silent wrap-around.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "binding/error.h"
#include "rebuild/stock_arithmetic.h"

using rebuild::addTenThousandths;
using rebuild::toFixedPoint;

TEST(StockArithmetic, SumsOfThreeDecimalValuesComeBackExact) {
    struct Case {
        std::vector<binding::FixedPoint> values;
        binding::FixedPoint expected;
    } cases[] = {
        {{}, 0},
        {{1230, 4560}, 5790},     // 0.123 + 0.456
        {{50000, -50000}, 0},     // cancel out to exactly zero
        {{-12340, -10}, -12350},  // negative stays negative
        {{1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000, 1000}, 10000},  // 10 x 0.1
        {{99999990000, 10}, 99999990010},                                       // 9 999 999.001
        {{9000000000000000000, 0}, 9000000000000000000},  // near the top of the type
    };
    for (const Case& c : cases) {
        double sum = 0;
        for (binding::FixedPoint value : c.values) sum = addTenThousandths(sum, value);
        EXPECT_EQ(toFixedPoint(sum), c.expected) << "expected " << c.expected;
    }
}

TEST(StockArithmetic, ConversionRoundsHalfToEven) {
    // Multiples of 1/32 are the doubles whose ten-thousandths end in exactly one half.
    struct Case {
        double sum;
        binding::FixedPoint expected;
    } cases[] = {
        {1.0 / 32, 312},   // 312.5 -> 312
        {3.0 / 32, 938},   // 937.5 -> 938
        {5.0 / 32, 1562},  // 1562.5 -> 1562
        {-1.0 / 32, -312}, {-3.0 / 32, -938}, {0.12345678, 1235}, {-0.12344999, -1234},
    };
    for (const Case& c : cases) EXPECT_EQ(toFixedPoint(c.sum), c.expected) << c.sum;
}

TEST(StockArithmetic, SumsBeyondTheFixedPointTypeAreAnErrorNotAWrappedNumber) {
    const double tooLarge[] = {1e15, -1e15, std::numeric_limits<double>::infinity(),
                               std::numeric_limits<double>::quiet_NaN()};
    for (double value : tooLarge) EXPECT_THROW(toFixedPoint(value), binding::Error) << value;
    EXPECT_EQ(toFixedPoint(922337203685477.0), 9223372036854770000);
}
