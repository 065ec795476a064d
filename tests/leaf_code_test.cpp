// The leaves' codes of list positions: what is written reads back the same
// positions, leaf after leaf in one stream, and no leaf takes more bits than
// the code promises, for leaves of every shape (dense, sparse, far apart,
// reaching the largest positions, a few far from the rest) and every width of
// position up to 32 bits.
#include "engine/leaf_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using positions = std::vector<std::uint32_t>;

// How the gaps of a leaf are drawn: `extra` gives the room above the least
// gap (1) before star e of `count`, given the room left over in the list.
struct shape {
    const char* name;
    std::uint64_t (*extra)(std::mt19937_64& rng, std::size_t e, std::size_t count, std::uint64_t room);
};

std::uint64_t uniform(std::mt19937_64& rng, std::uint64_t lo, std::uint64_t hi)     // lo..hi, both in
{
    return std::uniform_int_distribution<std::uint64_t>(lo, hi)(rng);
}

const shape shapes[] = {
    {"dense", [](std::mt19937_64&, std::size_t, std::size_t, std::uint64_t) -> std::uint64_t { return 0; }},
    {"small gaps", [](std::mt19937_64& r, std::size_t, std::size_t, std::uint64_t) { return uniform(r, 0, 3); }},
    {"sparse", [](std::mt19937_64& r, std::size_t, std::size_t, std::uint64_t) { return uniform(r, 0, 5000); }},
    {"far apart", [](std::mt19937_64& r, std::size_t, std::size_t, std::uint64_t room) { return uniform(r, 0, room); }},
    {"gaps of every size", [](std::mt19937_64& r, std::size_t, std::size_t, std::uint64_t room) {
         return uniform(r, 0, room >> uniform(r, 0, 40));
     }},
    {"dense, then one far", [](std::mt19937_64&, std::size_t e, std::size_t count, std::uint64_t room) {
         return e + 1 == count ? room : 0;
     }},
    {"one, then dense far off", [](std::mt19937_64&, std::size_t e, std::size_t, std::uint64_t room) {
         return e == 1 ? room : 0;
     }},
    {"dense runs far apart", [](std::mt19937_64& r, std::size_t e, std::size_t, std::uint64_t room) {
         return e % 16 == 0 ? uniform(r, 0, room) : 0;
     }},
};

// `count` distinct ascending positions below 2^bits shaped by `s`; with
// `at_ends`, the first is 0 and, when the shape spends all the room, the last
// is the largest.
positions leaf_of(std::mt19937_64& rng, const shape& s, std::size_t count, int bits, bool at_ends)
{
    const std::uint64_t room = (std::uint64_t(1) << bits) - count;    // beyond the least gaps
    std::vector<std::uint64_t> extra(count, 0);
    long double sum = 0;
    for (std::size_t e = 1; e < count; ++e) sum += extra[e] = s.extra(rng, e, count, room);
    if (sum > room)                                  // scaled down into the list
        for (std::size_t e = 1; e < count; ++e) extra[e] = (std::uint64_t)(extra[e] * ((long double)room / sum));
    std::uint64_t used = 0;
    for (std::size_t e = 1; e < count; ++e) used += extra[e];
    for (std::size_t e = count - 1; used > room; --e) {           // what the rounding of the scale left over
        const std::uint64_t less = std::min(extra[e], used - room);
        extra[e] -= less;
        used -= less;
    }
    std::uint64_t p = at_ends ? 0 : uniform(rng, 0, room - used);
    positions out;
    for (std::size_t e = 0; e < count; ++e) out.push_back((std::uint32_t)(p += (e ? 1 + extra[e] : 0)));
    return out;
}

struct written_leaf {
    positions want;
    std::uint32_t unit, units;          // where its code starts, and its length, in 32-bit units
    int k;
};

// Every width of list position the code takes, from lists of 2 up to 2^32.
const int widths[] = {1, 2, 3, 5, 8, 11, 16, 20, 24, 27, 30, 31, 32};

// Leaves of every shape and width, written one after another as the groups
// write them; `codes` is then just long enough for them and the word past them
// the reader may read.
std::vector<written_leaf> write_leaves(int bits, unsigned seed, std::vector<std::uint64_t>& codes)
{
    std::mt19937_64 rng(seed);
    std::vector<written_leaf> leaves;
    const std::size_t most = std::min<std::uint64_t>(64, std::uint64_t(1) << bits);
    for (const shape& s : shapes)
        for (int n = 0; n < 40; ++n) {
            const std::size_t count = n % 4 == 0 ? most : n % 4 == 1 ? std::min<std::size_t>(1 + n / 4 % 3, most)
                                                                       : uniform(rng, 1, most);
            leaves.push_back({leaf_of(rng, s, count, bits, n % 5 == 0), 0, 0, 0});
        }
    std::size_t bound = 0;
    for (const written_leaf& l : leaves) bound += most_code_bits(l.want.size(), bits);
    std::vector<std::uint64_t> out(bound / 64 + 1);
    leaf_code_writer writer(out.data());
    for (written_leaf& l : leaves) {
        l.unit = writer.units();
        l.k = writer.leaf(l.want.data(), l.want.size(), bits);
        l.units = writer.units() - l.unit;
    }
    writer.finish();
    codes.assign(out.begin(), out.begin() + (writer.units() + 1) / 2);
    codes.push_back(~0ull);                          // the word past them: read, never part of a leaf
    return leaves;
}

std::string what(int bits, const written_leaf& l)
{
    return std::to_string(bits) + "-bit positions, " + std::to_string(l.want.size()) + " of them from " +
           std::to_string(l.want.front()) + " to " + std::to_string(l.want.back()) + ", k " + std::to_string(l.k);
}

TEST(LeafCode, WrittenPositionsReadBackTheSame)
{
    bool long_row = false;
    for (int bits : widths) {
        std::vector<std::uint64_t> codes;
        for (const written_leaf& l : write_leaves(bits, 1000u + (unsigned)bits, codes)) {
            positions got;
            read_leaf_code(codes.data(), l.unit, l.want.size(), l.k, bits, [&](std::uint32_t p) { got.push_back(p); });
            ASSERT_EQ(got, l.want) << what(bits, l);
            // The row of high parts: one a star after the first, past zeros up to the last high part.
            const std::uint64_t last = l.want.back() - l.want.front() - (l.want.size() - 1);
            long_row |= (last >> l.k) + l.want.size() - 1 > 64;
        }
    }
    EXPECT_TRUE(long_row) << "some leaf's row of high parts runs past a 64-bit word";
}

TEST(LeafCode, NoLeafTakesMoreThanItsBound)
{
    for (int bits : widths) {
        std::vector<std::uint64_t> codes;
        for (const written_leaf& l : write_leaves(bits, 2000u + (unsigned)bits, codes)) {
            EXPECT_LE(32 * (std::size_t)l.units, most_code_bits(l.want.size(), bits)) << what(bits, l);
            EXPECT_LT(l.k, std::max(bits, 1)) << what(bits, l);
        }
    }
}

} // namespace
