// Groups of stars by place and brightness, kept beside the star list, so a
// frame can pass over every group that cannot light a pixel and still draw
// exactly the pixels that walking the whole list would draw.
#ifndef STARHOP_STAR_GROUPS_H
#define STARHOP_STAR_GROUPS_H

#include "engine/stars.h"
#include "base/vector.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

struct BITMAP;
class star_type;
struct draw_context;
struct frame_tests;
class leaf_code_writer;

class star_groups {
public:
    // Indexes the list from `first_star` as it is now; the list is only read,
    // and must neither grow nor move while the groups are in use. With
    // `walk_when_cheaper`, a frame in which a large share of the stars may
    // show walks the whole list instead (the same pixels, sooner). The list's
    // length, where it is known beforehand, lets memory be made ready sooner.
    explicit star_groups(star_type* first_star, bool walk_when_cheaper = true, std::size_t length_hint = 0);
    ~star_groups();
    star_groups(const star_groups&) = delete;
    star_groups& operator=(const star_groups&) = delete;

    // The frame's star work: transform_star then draw for every star that can
    // show, in list order, skipping whole groups that cannot. The pixels are
    // those of the full walk.
    void draw(const matrix& view, const draw_context& frame);
    // The same on the 640 by 480 screen at zoom and exposure 0.
    void draw(const matrix& view, BITMAP* target, int names);

    std::size_t star_count() const { return star_total_; }
    std::size_t group_count() const { return leaves_; }
    // Whether every star lies in its group's box and within its reach, and
    // every group within its parent's: what passing over a group relies on.
    bool holds_its_stars() const;
    // Memory kept beyond the records, in bytes (scratch of the frames included).
    std::size_t bytes() const;
    // Stars in the last frame that were transformed and drawn: the survivors
    // of the groups, or the whole list when it walked all of it.
    std::size_t last_drawn() const { return walked_all_ ? star_total_ : chosen_.size(); }

private:
    // A box of the catalog frame holding a group's stars, or its child groups.
    struct node {
        float lo[3], hi[3];
        float reach;                    // beyond this distance no star in it shows
        // A parent's children, [first, last); a leaf's code of list positions
        // starts at 32-bit word `first` of the codes, and `last` holds its
        // star count in its low bits and, above them, how many low bits of
        // each offset it keeps apart (see engine/leaf_code.h).
        std::uint32_t first, last;
    };
    // Node arrays in pages of their own, left as the system gives them (zero)
    // until written: both cores write the leaves of a large list at once.
    template <class T> struct page_allocator {
        using value_type = T;
        page_allocator() = default;
        template <class U> page_allocator(const page_allocator<U>&) {}
        T* allocate(std::size_t n);
        void deallocate(T* p, std::size_t n);
        template <class U> void construct(U* p) { ::new ((void*)p) U; }
        template <class U, class... A> void construct(U* p, A&&... a) { ::new ((void*)p) U(std::forward<A>(a)...); }
        friend bool operator==(page_allocator, page_allocator) { return true; }
        friend bool operator!=(page_allocator, page_allocator) { return false; }
    };
    using node_array = std::vector<node, page_allocator<node>>;
    // A stretch of the list whose records lie one after another in memory.
    struct run {
        std::uint32_t first_index;      // list position of its first record
        star_type* first;
    };

    // The making of the groups, step by step (see star_groups.cpp).
    struct star_sample;
    struct key_maker;
    struct pass_rooms;
    struct bucket_words;
    bool sample_list(star_sample& sample);
    static key_maker keys_for(const star_sample& sample);
    std::array<pass_rooms, 2> plan_passes(const star_sample& sample, const key_maker& keys) const;
    bucket_words write_keys(const key_maker& keys, const pass_rooms& rooms, std::uint64_t* words,
                            std::array<std::vector<std::size_t>, 2>* later) const;
    std::size_t sort_and_cut(const key_maker& keys, const pass_rooms& rooms, const bucket_words& words, std::size_t code_end);
    void cut_leaves(const key_maker& keys, const std::uint64_t* w, const std::uint32_t* position, std::size_t count,
                    leaf_code_writer& codes, node* out) const;
    template <class F> void each_member(const node& leaf, F&& f) const;
    void make_parents();

    void visit(std::size_t level, std::uint32_t n, const frame_tests& tests);
    star_type* record(std::uint32_t index, std::size_t& cursor) const;
    star_type* locate(std::uint32_t index) const;
    void walk_all(const matrix& view, const draw_context& frame);

    star_type* first_star_;
    bool walk_when_cheaper_;
    std::size_t star_total_ = 0, leaves_ = 0;
    bool walked_all_ = false;
    std::vector<run> runs_;
    // The leaves' codes of their list positions, one after another, in pages
    // of their own: while the groups are made the same pages hold a 64-bit
    // word for each star of one pass at a time, after the codes of the passes
    // before it.
    mapped_pages member_pages_;
    const std::uint64_t* codes_ = nullptr;          // in member_pages_
    int position_bits_ = 32;                        // of a leaf's first position
    std::vector<std::uint32_t> always_;             // not finite or out of range: every frame
    std::vector<node_array> levels_;                // leaves first, then their parents up to the root
    std::vector<std::uint32_t> chosen_;             // scratch: the frame's survivors
    std::vector<std::uint32_t> spare_;              // scratch of their sort
};

#endif
