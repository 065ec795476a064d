// Groups of stars by place and brightness, kept beside the star list, so a
// frame can pass over every group that cannot light a pixel and still draw
// exactly the pixels that walking the whole list would draw.
#ifndef STARHOP_STAR_GROUPS_H
#define STARHOP_STAR_GROUPS_H

#include "engine/group_making.h"
#include "engine/stars.h"
#include "base/vector.h"

#include <cstddef>
#include <cstdint>
#include <vector>

struct BITMAP;
class star_type;
struct draw_context;
struct frame_tests;

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

    std::size_t star_count() const { return made_.star_total; }
    std::size_t group_count() const { return leaves_; }
    // Whether every star lies in its group's box and within its reach, and
    // every group within its parent's: what passing over a group relies on.
    bool holds_its_stars() const;
    // Memory kept beyond the records, in bytes (scratch of the frames included).
    std::size_t bytes() const;
    // Stars in the last frame that were transformed and drawn: the survivors
    // of the groups, or the whole list when it walked all of it.
    std::size_t last_drawn() const { return walked_all_ ? made_.star_total : chosen_.size(); }

private:
    void visit(std::size_t level, std::uint32_t n, const frame_tests& tests);
    star_type* record(std::uint32_t index, std::size_t& cursor) const;
    template <class F> void each_member(const group_node& leaf, F&& f) const;
    void walk_all(const matrix& view, const draw_context& frame);

    star_type* first_star_;
    bool walk_when_cheaper_;
    grouping made_;
    std::size_t leaves_ = 0;
    bool walked_all_ = false;
    std::vector<std::uint32_t> chosen_;             // scratch: the frame's survivors
    std::vector<std::uint32_t> spare_;              // scratch of their sort
};

#endif
