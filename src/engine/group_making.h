// The making of the star groups: the list sorted into boxes by place and
// brightness, leaves of a few dozen stars and their parents up to a handful
// of roots, each leaf's stars kept as a short code of their list positions.
// What a frame does with the groups is star_groups'.
#ifndef STARHOP_GROUP_MAKING_H
#define STARHOP_GROUP_MAKING_H

#include "engine/stars.h"

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

constexpr std::size_t leaf_size = 64;
constexpr int count_bits = 8;                     // of a leaf's `last`: its star count, then its k
static_assert(leaf_size < (1u << count_bits), "a leaf's star count fits its bits");
// Beyond this a coordinate, or an entry of the view matrix, is left to the
// exact test: their products stay far from float overflow.
constexpr double largest_coordinate = 1e18;
// Room on the distance at which a magnitude shows at the faintest, for the
// float length, the logarithm and the exposure's subtraction: far beyond all.
constexpr double reach_slack = 1e-4;

// The distance at which absolute magnitude m shows at the faintest magnitude
// at exposure 0, a little generously, rounded up to a float.
float reach_of(float m);

// A box of the catalog frame holding a group's stars, or its child groups.
struct group_node {
    float lo[3], hi[3];
    float reach;                    // beyond this distance no star in it shows
    // A parent's children, [first, last); a leaf's code of list positions
    // starts at 32-bit word `first` of the codes, and `last` holds its star
    // count in its low count_bits and, above them, how many low bits of each
    // offset it keeps apart (see engine/leaf_code.h).
    std::uint32_t first, last;
};

// Node arrays in pages of their own, left as the system gives them (zero)
// until written: both cores write the leaves of a large list at once.
template <class T> struct page_allocator {
    using value_type = T;
    page_allocator() = default;
    template <class U> page_allocator(const page_allocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(fresh_pages(sizes(n))); }
    void deallocate(T* p, std::size_t n) { mapped_pages given_back(p, sizes(n)); }    // as it goes
    template <class U> void construct(U* p) { ::new ((void*)p) U; }
    template <class U, class... A> void construct(U* p, A&&... a) { ::new ((void*)p) U(std::forward<A>(a)...); }
    friend bool operator==(page_allocator, page_allocator) { return true; }
    friend bool operator!=(page_allocator, page_allocator) { return false; }

private:
    static std::size_t sizes(std::size_t n) { return (n ? n : 1) * sizeof(T); }
};
using node_array = std::vector<group_node, page_allocator<group_node>>;

// A stretch of the list whose records lie one after another in memory.
struct list_run {
    std::uint32_t first_index;      // list position of its first record
    star_type* first;
};

// The groups of one list as made.
struct grouping {
    std::size_t star_total = 0;
    std::vector<list_run> runs;
    // The leaves' codes of their list positions, one after another, in pages
    // of their own: while the groups are made the same pages hold a 64-bit
    // word for each star of one pass at a time, after the codes of the passes
    // before it.
    mapped_pages member_pages;
    const std::uint64_t* codes = nullptr;           // in member_pages
    int first_bits = 32;                            // of a leaf's first position
    std::vector<std::uint32_t> always;              // not finite or out of range: every frame
    std::vector<node_array> levels;                 // leaves first, then their parents up to the root

    // The record at list position `index`.
    star_type* locate(std::uint32_t index) const;
};

// Groups the list from `first_star` as it is now, reading it only; the list's
// length, where it is known beforehand, lets memory be made ready sooner.
// No levels when the list is too long to number its stars: every frame then
// walks it all. Throws std::bad_alloc.
grouping make_groups(star_type* first_star, std::size_t length_hint);

#endif
