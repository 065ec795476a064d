// What a frame does with the star groups: each box tested against the view,
// the survivors' list positions read from their leaves' codes, sorted into
// list order and drawn.
#include "engine/star_groups.h"

#include "engine/leaf_code.h"
#include "engine/lens.h"
#include "engine/radix_sort.h"
#include "engine/stars.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <utility>

// How a frame uses the groups (how they are made is in group_making.cpp).
// Each box is tested against the view matrix in double precision, with room
// for everything float arithmetic can do to a star's view position on its way
// through transform_star and draw: a box is passed over only when every star
// in it surely lies behind the viewer, off the screen, or beyond the distance
// at which the group's brightest star shows the faintest magnitude the
// exposure lets through. The rest are drawn in list order, so stars that
// overlap give the same pixels as the full walk.
//
// A frame that may show more than a twelfth of the stars walks the list
// instead: a survivor costs about ten stars of the plain walk.
namespace {

constexpr std::size_t walk_share = 12;      // see above

// Float arithmetic of transform_star, ((a x + b y) + c z) + t, lies within
// this share of |a x| + |b y| + |c z| + |t| of the exact value (four roundings
// of 2^-24 each, generously), plus a trace for results below the normal range.
constexpr double relative_slack = 1e-6;
constexpr double absolute_slack = 1e-37;
// A star is off the screen when |x| > w z or |y| > h z by any margin, with w
// and h the lens's half width and half height (a column from W on, or below
// 1, lies off a screen W wide; the centre is W / 2); the projection's own
// roundings, a few units in the 24th bit, stay far inside this widening.
constexpr double edge_widening = 1.00125;

} // namespace

// The view matrix, ready to bound whole boxes.
struct frame_tests {
    double m[3][3], t[3];
    double plane[4][4];                 // x - w z, -x - w z, y - h z, -y - h z: coefficients, constant
    double plane_z[4];                  // the share of z's slack each plane takes
    int plane_row[4];
    double reach_scale;                 // the exposure's stretch of every group's reach
    bool usable;

    frame_tests(const matrix& view, const lens& optics)
    {
        reach_scale = optics.reach_scale() * (1 + reach_slack);
        const double half_width = optics.half_width() * edge_widening;
        const double half_height = optics.half_height() * edge_widening;
        usable = true;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) m[i][j] = (double)view.m[4 * i + j];
            t[i] = (double)view.m[4 * i + 3];
        }
        for (float v : view.m)
            if (!(static_cast<double>(std::fabs(v)) <= largest_coordinate)) usable = false;
        const double sign[4] = {1, -1, 1, -1}, w[4] = {half_width, half_width, half_height, half_height};
        for (int p = 0; p < 4; ++p) {
            const int row = p < 2 ? 0 : 1;
            for (int j = 0; j < 3; ++j) plane[p][j] = sign[p] * m[row][j] - w[p] * m[2][j];
            plane[p][3] = sign[p] * t[row] - w[p] * t[2];
            plane_z[p] = w[p];
            plane_row[p] = row;
        }
    }

    // False only when no star inside the box can light a pixel.
    bool may_show(const float lo[3], const float hi[3], float reach) const
    {
        double c[3], h[3], a[3];
        for (int j = 0; j < 3; ++j) {
            c[j] = 0.5 * (static_cast<double>(lo[j]) + static_cast<double>(hi[j]));
            h[j] = 0.5 * (static_cast<double>(hi[j]) - static_cast<double>(lo[j]));
            a[j] = std::max(std::fabs((double)lo[j]), std::fabs((double)hi[j]));
        }
        double centre[3], extent[3], slack[3];
        for (int i = 0; i < 3; ++i) {
            centre[i] = ((m[i][0] * c[0] + m[i][1] * c[1]) + m[i][2] * c[2]) + t[i];
            extent[i] = std::fabs(m[i][0]) * h[0] + std::fabs(m[i][1]) * h[1] + std::fabs(m[i][2]) * h[2];
            slack[i] = relative_slack * (std::fabs(m[i][0]) * a[0] + std::fabs(m[i][1]) * a[1] +
                                         std::fabs(m[i][2]) * a[2] + std::fabs(t[i])) + absolute_slack;
        }
        if (centre[2] + extent[2] + slack[2] <= 0) return false;          // all behind the viewer
        for (int p = 0; p < 4; ++p) {                                      // all off one side
            const double* k = plane[p];
            const double least = (((k[0] * c[0] + k[1] * c[1]) + k[2] * c[2]) + k[3]) -
                                 (std::fabs(k[0]) * h[0] + std::fabs(k[1]) * h[1] + std::fabs(k[2]) * h[2]);
            if (least > slack[plane_row[p]] + plane_z[p] * slack[2]) return false;
        }
        double nearest = 0;                                                // squared, a lower bound
        for (int i = 0; i < 3; ++i) {
            const double gap = std::fabs(centre[i]) - extent[i] - slack[i];
            if (gap > 0) nearest += gap * gap;
        }
        const double far = (double)reach * reach_scale;
        return !(nearest * (1 - relative_slack) > far * far);             // all too far to show
    }
};

star_groups::star_groups(star_type* first_star, bool walk_when_cheaper, std::size_t length_hint)
    : first_star_(first_star), walk_when_cheaper_(walk_when_cheaper), made_(make_groups(first_star, length_hint))
{
    if (made_.levels.empty()) return;                    // too many to number: every frame walks them all
    leaves_ = made_.levels[0].size();
    chosen_.reserve(made_.always.size() + 4096);
}

star_groups::~star_groups() = default;

// Calls f with each list position of a leaf, ascending, read from its code.
template <class F> inline void star_groups::each_member(const group_node& leaf, F&& f) const
{
    read_leaf_code(made_.codes, leaf.first, leaf.last & ((1u << count_bits) - 1), (int)(leaf.last >> count_bits),
                   made_.first_bits, std::forward<F>(f));
}

bool star_groups::holds_its_stars() const
{
    if (made_.levels.empty()) return true;
    // Every star in exactly one group, or kept apart.
    std::vector<bool> seen(made_.star_total);
    bool once = true;
    auto mark = [&](std::uint32_t e) {
        once &= e < made_.star_total && !seen[e];
        if (e < made_.star_total) seen[e] = true;
    };
    for (std::uint32_t e : made_.always) mark(e);
    for (const group_node& leaf : made_.levels[0]) {
        bool inside = true;
        std::int64_t before = -1;
        each_member(leaf, [&](std::uint32_t e) {
            mark(e);
            once &= (std::int64_t)e > before;
            before = e;
            if (e >= made_.star_total) return;
            const star_type& s = *made_.locate(e);
            const float v[3] = {s.position.x, s.position.y, s.position.z};
            for (int j = 0; j < 3; ++j) inside &= leaf.lo[j] <= v[j] && v[j] <= leaf.hi[j];
            inside &= reach_of(s.abs_magnitude) <= leaf.reach;
        });
        if (!inside || !once) return false;
    }
    if (std::find(seen.begin(), seen.end(), false) != seen.end()) return false;
    for (std::size_t level = 1; level < made_.levels.size(); ++level)
        for (const group_node& parent : made_.levels[level])
            for (std::uint32_t c = parent.first; c < parent.last; ++c) {
                const group_node& child = made_.levels[level - 1][c];
                for (int j = 0; j < 3; ++j)
                    if (!(parent.lo[j] <= child.lo[j] && child.hi[j] <= parent.hi[j])) return false;
                if (!(child.reach <= parent.reach)) return false;
            }
    return true;
}

std::size_t star_groups::bytes() const
{
    std::size_t b = made_.runs.capacity() * sizeof(list_run) + made_.member_pages.size() + made_.always.capacity() * 4 +
                    chosen_.capacity() * 4 + spare_.capacity() * 4;
    for (const auto& level : made_.levels) b += level.capacity() * sizeof(group_node);
    return b;
}

void star_groups::visit(std::size_t level, std::uint32_t n, const frame_tests& tests)
{
    const group_node& g = made_.levels[level][n];
    if (!tests.may_show(g.lo, g.hi, g.reach)) return;
    if (level == 0) {
        each_member(g, [this](std::uint32_t e) { chosen_.push_back(e); });
        return;
    }
    for (std::uint32_t c = g.first; c < g.last; ++c) visit(level - 1, c, tests);
}

// The record at list position `index`; `cursor` (the run of the previous
// call) only moves forward, as the positions asked for grow.
inline star_type* star_groups::record(std::uint32_t index, std::size_t& cursor) const
{
    if (cursor + 1 < made_.runs.size() && made_.runs[cursor + 1].first_index <= index)
        cursor = std::upper_bound(made_.runs.begin() + cursor + 1, made_.runs.end(), index,
                                  [](std::uint32_t i, const list_run& r) { return i < r.first_index; }) -
                 made_.runs.begin() - 1;
    return made_.runs[cursor].first + (index - made_.runs[cursor].first_index);
}

void star_groups::walk_all(const matrix& view, const draw_context& frame)
{
    for (star_type* s = first_star_; s; s = s->next) {
        s->transform_star(view);
        s->draw(frame);
    }
}


void star_groups::draw(const matrix& view, const draw_context& frame)
{
    chosen_.clear();
    walked_all_ = true;
    const frame_tests tests(view, frame.optics);
    if (!tests.usable || made_.levels.empty()) {         // the whole list, as it stands
        return walk_all(view, frame);
    }
    try {
        for (std::uint32_t n = 0; n < made_.levels.back().size(); ++n) visit(made_.levels.size() - 1, n, tests);
        chosen_.insert(chosen_.end(), made_.always.begin(), made_.always.end());
        if (walk_when_cheaper_ && chosen_.size() > made_.star_total / walk_share) {   // walking the list is cheaper
            return walk_all(view, frame);
        }
        sort_ascending(chosen_, spare_, made_.star_total - 1);                     // into list order
    } catch (const std::bad_alloc&) {                    // no room for the survivors: the same pixels
        chosen_.clear();
        return walk_all(view, frame);
    }
    walked_all_ = false;
    std::size_t cursor = 0;
    for (std::uint32_t index : chosen_) {
        star_type* s = record(index, cursor);
        s->transform_star(view);
        s->draw(frame);
    }
}
