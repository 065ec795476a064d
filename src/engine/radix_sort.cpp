// Radix sorts of words by a field of their bits, and of list positions.
#include "engine/radix_sort.h"

#include <algorithm>
#include <utility>

void sort_high_bits(std::uint64_t* a, std::size_t n, int top, int shift)
{
    if (n < 2 || top <= shift) return;
    if (n < 64) {
        std::sort(a, a + n, [shift](std::uint64_t x, std::uint64_t y) { return x >> shift < y >> shift; });
        return;
    }
    constexpr std::size_t digits = std::size_t(1) << radix_digit;
    const int width = std::min(radix_digit, top - shift), low = top - width;
    const std::uint64_t mask = (1u << width) - 1;
    std::size_t head[digits] = {}, tail[digits];
    for (std::size_t i = 0; i < n; ++i) ++head[a[i] >> low & mask];
    std::size_t sum = 0;
    for (std::size_t d = 0; d <= mask; ++d) {
        tail[d] = sum + head[d];
        head[d] = std::exchange(sum, tail[d]);
    }
    std::size_t first[digits];
    std::copy(head, head + mask + 1, first);
    for (std::size_t d = 0; d <= mask; ++d)
        while (head[d] < tail[d]) {
            std::uint64_t v = a[head[d]];
            std::size_t to = v >> low & mask;
            while (to != d) {                       // carry v to its bucket, take what was there
                std::swap(v, a[head[to]++]);
                to = v >> low & mask;
            }
            a[head[d]++] = v;
        }
    for (std::size_t d = 0; d <= mask; ++d) sort_high_bits(a + first[d], tail[d] - first[d], low, shift);
}

void sort_two_digits(const word_stretch* in, std::size_t count, std::size_t n, std::uint64_t* out,
                     std::uint64_t* scratch, int shift)
{
    constexpr std::size_t digits = std::size_t(1) << radix_digit, mask = digits - 1;
    const int second = shift + radix_digit;
    std::size_t at[2][digits] = {};
    for (const word_stretch* s = in; s != in + count; ++s)
        for (std::size_t i = 0; i < s->n; ++i) {
            ++at[0][s->at[i] >> shift & mask];
            ++at[1][s->at[i] >> second & mask];
        }
    for (auto& c : at)
        for (std::size_t d = 0, sum = 0; d < digits; ++d) sum += std::exchange(c[d], sum);
    const std::uint64_t key_bits = ~((std::uint64_t(1) << shift) - 1);
    std::size_t place = 0;
    for (const word_stretch* s = in; s != in + count; ++s)
        for (std::size_t i = 0; i < s->n; ++i, ++place)
            scratch[at[0][s->at[i] >> shift & mask]++] = (s->at[i] & key_bits) | place;
    for (std::size_t i = 0; i < n; ++i) out[at[1][scratch[i] >> second & mask]++] = scratch[i];
}

void sort_ascending(std::vector<std::uint32_t>& values, std::vector<std::uint32_t>& spare, std::size_t largest)
{
    constexpr std::size_t digits = std::size_t(1) << radix_digit, mask = digits - 1;
    if (values.size() < 512) return std::sort(values.begin(), values.end());
    spare.resize(values.size());
    std::size_t count[digits];
    for (int shift = 0; (largest >> shift) > 0; shift += radix_digit) {
        std::fill(count, count + digits, 0);
        for (std::uint32_t i : values) ++count[i >> shift & mask];
        std::size_t sum = 0;
        for (std::size_t& c : count) sum += std::exchange(c, sum);
        for (std::uint32_t i : values) spare[count[i >> shift & mask]++] = i;
        values.swap(spare);
    }
}
