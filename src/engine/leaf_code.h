// The list positions of one group of stars as a short code: how the star
// groups keep their members in a few bits a star, written once when the
// groups are made and read by every frame.
//
// A leaf's list positions p0 < p1 < ..., ascending, as a code: p0 in as many
// bits as the list's length needs, then for each later one its offset
// u = pi - p0 - i (never falling) split at bit k, k from the leaf's mean gap:
// the low k bits of every offset one after another, then the high parts as
// a row of bits in which the i-th one lies at the i-th high part plus i. A
// reader finds the ones a word at a time and reads the low bits where they
// lie, without waiting on the offset before. Bits run from the lowest of each
// 64-bit word, and every leaf starts on a 32-bit boundary.
//
// The row is shorter than three bits a star: the mean offset gap is below
// 2^(k+1), so the last high part is below 2 (c - 1), and the row holds it plus
// c - 1 ones. With k below b, a leaf of c stars takes at most
// b + (c - 1) (b + 2) + 31 bits, so at most c (b + 2) + 31 (most_code_bits),
// for b-bit positions.
#ifndef STARHOP_LEAF_CODE_H
#define STARHOP_LEAF_CODE_H

#include <cstddef>
#include <cstdint>

// The most bits a leaf of `count` positions of `position_bits` bits each
// takes, its padding to the next leaf's boundary included.
constexpr std::size_t most_code_bits(std::size_t count, int position_bits)
{
    return count * (std::size_t)(position_bits + 2) + 31;
}

// Writes the codes of leaf after leaf, one after another, into `out`, which
// must have room for them (most_code_bits each).
class leaf_code_writer {
public:
    explicit leaf_code_writer(std::uint64_t* out) : out_(out) {}
    // Codes `count` (at least 1) distinct positions, ascending, each below
    // 2^first_bits (first_bits at most 32); gives k, the low bits kept apart.
    int leaf(const std::uint32_t* position, std::size_t count, int first_bits);
    // Where the next leaf's code starts, in 32-bit units from `out`.
    std::uint32_t units() const { return (std::uint32_t)(words_ * 2 + (std::size_t)used_ / 32); }
    // Writes out what is held; at a boundary, so `units() * 4` bytes are the code.
    void finish()
    {
        if (used_) out_[words_] = acc_;
    }

private:
    void put(std::uint64_t v, int n);               // n below 64, v below 2^n
    void zeros(std::uint64_t q);
    void to_boundary() { zeros((32 - used_ % 32) % 32); }

    std::uint64_t* out_;
    std::size_t words_ = 0;
    std::uint64_t acc_ = 0;
    int used_ = 0;
};

// 64 bits of the codes from bit `at`; one word past them must be readable.
inline std::uint64_t code_bits_from(const std::uint64_t* w, std::size_t at)
{
    const std::size_t i = at / 64;
    const unsigned s = at % 64;
    return s ? w[i] >> s | w[i + 1] << (64 - s) : w[i];
}

// Calls f with each list position of the leaf whose code starts at 32-bit
// unit `unit` of `codes`, ascending: `count` of them, k and first_bits as they
// were written. One 64-bit word past the codes must be readable.
template <class F>
inline void read_leaf_code(const std::uint64_t* codes, std::size_t unit, std::size_t count, int k, int first_bits, F&& f)
{
    const std::uint64_t low = (std::uint64_t(1) << k) - 1;
    const std::size_t at = unit * 32;
    const std::uint64_t first = code_bits_from(codes, at) & ((std::uint64_t(1) << first_bits) - 1);
    f((std::uint32_t)first);
    if (count < 2) return;
    const std::size_t lows = at + (std::size_t)first_bits, row = lows + (count - 1) * (std::size_t)k;
    std::size_t window = row;                       // the row's bits from here are in v, less the ones taken
    std::uint64_t v = code_bits_from(codes, window);
    for (std::size_t e = 1; e < count; ++e) {
        while (v == 0) v = code_bits_from(codes, window += 64);
        const std::size_t one = window - row + (std::size_t)__builtin_ctzll(v);
        v &= v - 1;
        const std::uint64_t high = one - (e - 1);
        const std::uint64_t offset = high << k | (code_bits_from(codes, lows + (e - 1) * (std::size_t)k) & low);
        f((std::uint32_t)(first + e + offset));
    }
}

#endif
