// Decimal numbers read exactly where that is quick: a whole number of up to
// 15 digits times a power of ten of at most 22 either way is one correctly
// rounded double operation on exact operands.
#ifndef STARHOP_DECIMAL_H
#define STARHOP_DECIMAL_H

#include <cstdint>

constexpr int largest_exact_power = 22;        // 10^22 is the largest power of ten a double holds exactly

constexpr double powers_of_ten[largest_exact_power + 1] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// digits * 10^scale, rounded once; scale within +-largest_exact_power.
inline double scaled_by_ten(std::uint64_t digits, int scale)
{
    const double d = (double)digits;
    return scale < 0 ? d / powers_of_ten[-scale] : d * powers_of_ten[scale];
}

#endif
