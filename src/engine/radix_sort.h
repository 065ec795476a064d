// Radix sorts of the star groups: 64-bit words by a field of their bits while
// the groups are made, and list positions into list order in every frame.
#ifndef STARHOP_RADIX_SORT_H
#define STARHOP_RADIX_SORT_H

#include <cstddef>
#include <cstdint>
#include <vector>

// The bits of one digit: 2048 counters, which stay in the first-level cache.
constexpr int radix_digit = 11;

// Words lying one after another.
struct word_stretch {
    const std::uint64_t* at;
    std::size_t n;
};

// Sorts words by their bits from `shift` up to `top`, in place, a digit at a
// time from the top (American flag sort); the low bits come along in no
// particular order. The bits from `top` up must be the same in every word.
void sort_high_bits(std::uint64_t* a, std::size_t n, int top, int shift);

// The n words of `count` stretches into `out`, sorted by their 2 radix_digit
// bits from `shift` up, in two stable passes from the lowest through
// `scratch` (n words each, apart from the stretches and from each other).
// Each word's bits below `shift` then hold not what they held but its place
// in the stretches, counted from the first (n must be below 2^shift); the
// bits above the two digits come along as they are, and words equal in the
// two digits stay in the stretches' order.
void sort_two_digits(const word_stretch* in, std::size_t count, std::size_t n, std::uint64_t* out,
                     std::uint64_t* scratch, int shift);

// Sorts `values`, none above `largest`, ascending: by digits from the lowest
// through `spare`, as many as `largest` needs, or by std::sort when they are
// few. `values` and `spare` may trade places.
void sort_ascending(std::vector<std::uint32_t>& values, std::vector<std::uint32_t>& spare, std::size_t largest);

#endif
