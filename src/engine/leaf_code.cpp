// The writer of the leaves' codes of list positions (the layout is in the header).
#include "engine/leaf_code.h"

#include <utility>

void leaf_code_writer::put(std::uint64_t v, int n)
{
    if (n == 0) return;
    acc_ |= v << used_;
    used_ += n;
    if (used_ >= 64) {
        out_[words_++] = acc_;
        used_ -= 64;
        acc_ = used_ ? v >> (n - used_) : 0;
    }
}

void leaf_code_writer::zeros(std::uint64_t q)
{
    for (q += (std::uint64_t)used_; q >= 64; q -= 64) out_[words_++] = std::exchange(acc_, 0);
    used_ = (int)q;
}

int leaf_code_writer::leaf(const std::uint32_t* position, std::size_t count, int first_bits)
{
    const auto offset = [&](std::size_t e) -> std::uint64_t { return position[e] - position[0] - e; };
    const std::uint64_t mean = count > 1 ? offset(count - 1) / (count - 1) : 0;
    const int k = mean ? 63 - __builtin_clzll(mean) : 0;
    put(position[0], first_bits);
    for (std::size_t e = 1; e < count; ++e) put(offset(e) & ((std::uint64_t(1) << k) - 1), k);
    for (std::size_t e = 1; e < count; ++e) {
        zeros((offset(e) >> k) - (offset(e - 1) >> k));
        put(1, 1);
    }
    to_boundary();
    return k;
}
