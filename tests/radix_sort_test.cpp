// The radix sorts give what std::sort gives, on random words and on words
// made to trouble them: all alike, sorted, reversed, one digit apart, every
// bit set, and sizes on either side of where they change method.
#include "engine/radix_sort.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using words = std::vector<std::uint64_t>;

// Words of one kind: `n` of them whose bits from `shift` up to `top` vary as
// the kind says, the bits above `top` all `above`, the bits below `shift` random.
struct kind {
    const char* name;
    std::uint64_t (*field)(std::mt19937_64& rng, std::size_t i, std::size_t n, std::uint64_t most);
};

const kind kinds[] = {
    {"random", [](std::mt19937_64& r, std::size_t, std::size_t, std::uint64_t most) { return r() & most; }},
    {"all alike", [](std::mt19937_64&, std::size_t, std::size_t, std::uint64_t most) { return most / 3; }},
    {"sorted", [](std::mt19937_64&, std::size_t i, std::size_t n, std::uint64_t most) { return most / n * i; }},
    {"reversed", [](std::mt19937_64&, std::size_t i, std::size_t n, std::uint64_t most) { return most / n * (n - i); }},
    {"few values", [](std::mt19937_64& r, std::size_t, std::size_t, std::uint64_t most) { return most / 4 * (r() % 5); }},
    {"only the lowest bits", [](std::mt19937_64& r, std::size_t, std::size_t, std::uint64_t) -> std::uint64_t { return r() % 7; }},
    {"only the highest bit", [](std::mt19937_64& r, std::size_t, std::size_t, std::uint64_t most) { return r() % 2 ? most ^ most >> 1 : 0; }},
    {"every bit set or none", [](std::mt19937_64& r, std::size_t, std::size_t, std::uint64_t most) { return r() % 2 ? most : 0; }},
};

const std::size_t sizes[] = {0, 1, 2, 63, 64, 65, 255, 256, 257, 511, 512, 513, 3000, 70000};

words make(const kind& k, std::mt19937_64& rng, std::size_t n, int top, int shift, std::uint64_t above)
{
    const std::uint64_t most = top - shift == 64 ? ~0ull : (std::uint64_t(1) << (top - shift)) - 1;
    const std::uint64_t low = shift == 0 ? 0 : (std::uint64_t(1) << shift) - 1;
    words w(n);
    for (std::size_t i = 0; i < n; ++i) w[i] = above | (k.field(rng, i, n, most) & most) << shift | (rng() & low);
    return w;
}

std::vector<std::uint64_t> fields(const words& w, int shift)
{
    std::vector<std::uint64_t> f;
    for (std::uint64_t v : w) f.push_back(v >> shift);
    return f;
}

std::string what(const kind& k, std::size_t n, int top, int shift)
{
    return std::string(k.name) + ", " + std::to_string(n) + " words, bits " + std::to_string(shift) + " to " +
           std::to_string(top);
}

TEST(RadixSort, HighBitsSortAsStdSortAndKeepEveryWord)
{
    std::mt19937_64 rng(11);
    const struct { int top, shift; std::uint64_t above; } fields_of[] = {
        {53, 31, 0x5a5ull << 53}, {64, 0, 0}, {40, 3, ~0ull << 40}, {11, 0, 0}, {12, 1, 0}, {33, 31, 0}};
    for (const auto& f : fields_of)
        for (const kind& k : kinds)
            for (std::size_t n : sizes) {
                const words in = make(k, rng, n, f.top, f.shift, f.above);
                words got = in, want = in;
                sort_high_bits(got.data(), got.size(), f.top, f.shift);
                std::sort(want.begin(), want.end());
                EXPECT_EQ(fields(got, f.shift), fields(want, f.shift)) << what(k, n, f.top, f.shift);
                std::sort(got.begin(), got.end());
                EXPECT_EQ(got, want) << "every word once, " << what(k, n, f.top, f.shift);
            }
}

TEST(RadixSort, TwoDigitsSortStablyAndNumberEveryWordsPlace)
{
    std::mt19937_64 rng(22);
    const struct { int shift; std::uint64_t above; } fields_of[] = {{31, 0x3ffull << 53}, {20, ~0ull << 42}, {12, 0}};
    for (const auto& f : fields_of)
        for (const kind& k : kinds)
            for (std::size_t n : sizes) {
                if (n >= std::size_t(1) << f.shift) continue;                // no room for the places
                const words in = make(k, rng, n, f.shift + 2 * radix_digit, f.shift, f.above);
                // In stretches of several lengths, an empty one among them.
                const std::size_t cut[3] = {n / 3, n / 3, n - n / 4};
                const word_stretch pieces[4] = {{in.data(), cut[0]},
                                                {in.data() + cut[0], 0},
                                                {in.data() + cut[1], cut[2] - cut[1]},
                                                {in.data() + cut[2], n - cut[2]}};
                words out(n), scratch(n);
                sort_two_digits(pieces, 4, n, out.data(), scratch.data(), f.shift);
                std::vector<std::uint64_t> want = fields(in, f.shift);
                std::sort(want.begin(), want.end());
                const std::string where = what(k, n, f.shift + 2 * radix_digit, f.shift);
                EXPECT_EQ(fields(out, f.shift), want) << where;
                // Below the digits, the place of the word it came from: each
                // place once, ascending among equal digits.
                const std::uint64_t low = (std::uint64_t(1) << f.shift) - 1;
                std::vector<bool> seen(n);
                for (std::size_t i = 0; i < n; ++i) {
                    const std::uint64_t p = out[i] & low;
                    ASSERT_TRUE(p < n && !seen[p]) << where << ", place " << p;
                    seen[p] = true;
                    EXPECT_EQ(in[p] >> f.shift, out[i] >> f.shift) << where << ", place " << p;
                    if (i && out[i] >> f.shift == out[i - 1] >> f.shift) {
                        EXPECT_GT(p, out[i - 1] & low) << where;
                    }
                }
            }
}

TEST(RadixSort, PositionsSortAsStdSort)
{
    std::mt19937_64 rng(33);
    for (std::uint64_t largest : {std::uint64_t(0), std::uint64_t(1), std::uint64_t(2047), std::uint64_t(2048),
                                  std::uint64_t(1) << 22, (std::uint64_t(1) << 31) - 2, std::uint64_t(~0u)})
        for (const kind& k : kinds)
            for (std::size_t n : sizes) {
                std::vector<std::uint32_t> values(n), spare;
                for (std::size_t i = 0; i < n; ++i)
                    values[i] = (std::uint32_t)std::min<std::uint64_t>(largest, k.field(rng, i, n, ~0u));
                std::vector<std::uint32_t> want = values;
                std::sort(want.begin(), want.end());
                sort_ascending(values, spare, largest);
                EXPECT_EQ(values, want) << k.name << ", " << n << " positions up to " << largest;
            }
}

} // namespace
