#include "star_groups.h"

#include "stars.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <sys/mman.h>
#include <thread>
#include <utility>

// How the groups are made. Stars are sorted by brightness band (half a
// magnitude wide), then along a Morton curve through a grid laid over most of
// the stars, and cut into leaves of at most leaf_size stars that never mix
// bands; leaves and then their parents are gathered fanout at a time up to a
// handful of roots. A star is one 64-bit word while they are sorted, and a
// leaf's box and brightness come from its stars' cells and band, because
// reading a hundred million records again out of order costs far more than
// reading them in order twice.
//
// A frame that may show more than a twelfth of the stars walks the list
// instead: a survivor costs about ten stars of the plain walk.
//
// How a frame uses them. Each box is tested against the view matrix in double
// precision, with room for everything float arithmetic can do to a star's view
// position on its way through transform_star and draw: a box is passed over
// only when every star in it surely lies behind the viewer, off the screen, or
// beyond the distance at which the group's brightest star shows magnitude 6.
// The rest are drawn in list order, so stars that overlap give the same pixels
// as the full walk.
namespace {

constexpr std::size_t leaf_size = 64;
constexpr std::size_t fanout = 8;
constexpr std::size_t walk_share = 12;      // see above
constexpr int bands = 64;                   // half a magnitude each: -16 and brighter, ..., 15.5 and fainter
constexpr float brightest_band = -16.0f;
constexpr int morton_bits = 9;              // per axis
constexpr int position_bits = 31;           // a word: band, Morton cell, list position
// Beyond this a coordinate, or an entry of the view matrix, is left to the
// exact test: their products stay far from float overflow.
constexpr double largest_coordinate = 1e18;

// Float arithmetic of transform_star, ((a x + b y) + c z) + t, lies within
// this share of |a x| + |b y| + |c z| + |t| of the exact value (four roundings
// of 2^-24 each, generously), plus a trace for results below the normal range.
constexpr double relative_slack = 1e-6;
constexpr double absolute_slack = 1e-37;
// A star is off the screen when |x| > 0.8 z or |y| > 0.6 z by any margin
// (focal length 400, centre 320 by 240, columns 1..639, rows 1..479); the
// projection's own roundings stay far inside this widening.
constexpr double half_width  = 0.801;
constexpr double half_height = 0.601;
// Room on the distance at which a magnitude shows 6, for the float length
// and the logarithm: far beyond both roundings.
constexpr double reach_slack = 1e-4;

bool kept_apart(const star_type& s)
{
    const float c[3] = {s.position.x, s.position.y, s.position.z};
    for (float v : c)
        if (!(std::fabs(v) <= largest_coordinate)) return true;   // NaN too
    return !std::isfinite(s.abs_magnitude);
}

// The distance at which absolute magnitude m shows 6, a little generously,
// rounded up to a float.
float reach_of(float m)
{
    const double r = reference_distance * std::exp((6.0 - m) * std::log(magnitude_ratio) / 2.0) * (1 + reach_slack);
    float f = (float)r;
    if ((double)f < r) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

int band_of(float m)
{
    const float b = std::floor((m - brightest_band) * 2);
    return b < 0 ? 0 : b > bands - 1 ? bands - 1 : (int)b;
}

std::uint64_t compact_bits(std::uint64_t v)    // every third of 48 bits back to 16
{
    v &= 0x249249249249ull;
    v = (v | v >> 2)  & 0x0c30c30c30c3ull;
    v = (v | v >> 4)  & 0x00f00f00f00full;
    v = (v | v >> 8)  & 0x0000ff0000ffull;
    v = (v | v >> 16) & 0xffff;
    return v;
}

std::uint64_t spread_bits(std::uint64_t v)     // up to 16 bits to every third of 48
{
    v &= 0xffff;
    v = (v | v << 16) & 0x0000ff0000ffull;
    v = (v | v << 8)  & 0x00f00f00f00full;
    v = (v | v << 4)  & 0x0c30c30c30c3ull;
    v = (v | v << 2)  & 0x249249249249ull;
    return v;
}

// Where the Morton grid lies along one axis: most stars inside it, a few
// outliers clamped to its faces (they still sort, only less tidily).
struct axis_grid {
    float lo = 0;
    double scale = 0;
    std::uint64_t cell(float v) const
    {
        const double q = (v - (double)lo) * scale;
        const double top = (1 << morton_bits) - 1;
        return q <= 0 ? 0 : q >= top ? (std::uint64_t)top : (std::uint64_t)q;
    }
    // Bounds of everything cell() puts in cells first..last, neither of them
    // an outer cell (those take the outliers): a little generous, rounded outward.
    void bounds(std::uint64_t first, std::uint64_t last, float& low, float& high) const
    {
        const double l = lo + (first - 0.01) / scale, h = lo + (last + 1.01) / scale;
        low = (float)l;
        high = (float)h;
        if (low > l) low = std::nextafter(low, -std::numeric_limits<float>::infinity());
        if (high < h) high = std::nextafter(high, std::numeric_limits<float>::infinity());
    }
};

axis_grid grid_for(std::vector<float>& sample)
{
    axis_grid g;
    if (sample.empty()) return g;
    const auto low = sample.begin() + sample.size() / 1000, high = sample.end() - 1 - sample.size() / 1000;
    std::nth_element(sample.begin(), high, sample.end());
    std::nth_element(sample.begin(), low, high);           // what lies below high
    const float lo = *low, hi = *high;
    const double pad = 0.05 * ((double)hi - lo);
    g.lo = (float)(lo - pad);
    const double width = (double)hi + pad - g.lo;
    g.scale = width > 0 ? ((1 << morton_bits) - 1) / width : 0;
    return g;
}

// Runs f(0) on a thread of its own and f(1) on this one: the groups are made
// once at start-up, on both of the machine's cores.
template <class F> void in_two(F f)
{
    std::thread other([&] { f(0); });
    f(1);
    other.join();
}

// Sorts words by their bits from `shift` up to `top`, in place, a digit at a
// time from the top (American flag sort); the low bits come along in no
// particular order.
void sort_high_bits(std::uint64_t* a, std::size_t n, int top, int shift)
{
    if (n < 2 || top <= shift) return;
    if (n < 64) {
        std::sort(a, a + n, [shift](std::uint64_t x, std::uint64_t y) { return x >> shift < y >> shift; });
        return;
    }
    const int width = std::min(11, top - shift), low = top - width;
    const std::uint64_t mask = (1u << width) - 1;
    std::size_t head[1 << 11] = {}, tail[1 << 11];
    for (std::size_t i = 0; i < n; ++i) ++head[a[i] >> low & mask];
    std::size_t sum = 0;
    for (std::size_t d = 0; d <= mask; ++d) {
        tail[d] = sum + head[d];
        head[d] = std::exchange(sum, tail[d]);
    }
    std::size_t first[1 << 11];
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

// The words of one bucket of the top digit, sorted by their bits from
// position_bits up to top_shift: in two stable passes of 11 bits from the
// lowest through `scratch` (a bucket of a typical list stays in the caches
// all the while), in place for a bucket of more than four million words.
constexpr int top_digit = 11, top_shift = 64 - top_digit;
static_assert(top_shift - position_bits == 22, "two passes of 11 bits below the top digit");

void sort_bucket(std::uint64_t* a, std::size_t n, std::vector<std::uint64_t>& scratch)
{
    if (n < 256) return sort_high_bits(a, n, top_shift, position_bits);
    if (n > (std::size_t(1) << 22)) return sort_high_bits(a, n, top_shift, position_bits);
    scratch.resize(std::max(scratch.size(), n));
    std::size_t count[2][1 << 11] = {};
    for (std::size_t i = 0; i < n; ++i) {
        ++count[0][a[i] >> position_bits & 2047];
        ++count[1][a[i] >> (position_bits + 11) & 2047];
    }
    for (auto& c : count)
        for (std::size_t d = 0, sum = 0; d < 2048; ++d) sum += std::exchange(c[d], sum);
    std::uint64_t* const b = scratch.data();
    for (std::size_t i = 0; i < n; ++i) b[count[0][a[i] >> position_bits & 2047]++] = a[i];
    for (std::size_t i = 0; i < n; ++i) a[count[1][b[i] >> (position_bits + 11) & 2047]++] = b[i];
}

} // namespace

// The view matrix, ready to bound whole boxes.
struct frame_tests {
    double m[3][3], t[3];
    double plane[4][4];                 // x - w z, -x - w z, y - h z, -y - h z: coefficients, constant
    double plane_z[4];                  // the share of z's slack each plane takes
    int plane_row[4];
    bool usable;

    explicit frame_tests(const matrix& view)
    {
        usable = true;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) m[i][j] = view.m[4 * i + j];
            t[i] = view.m[4 * i + 3];
        }
        for (float v : view.m)
            if (!(std::fabs(v) <= largest_coordinate)) usable = false;
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
            c[j] = 0.5 * ((double)lo[j] + hi[j]);
            h[j] = 0.5 * ((double)hi[j] - lo[j]);
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
        return !(nearest * (1 - relative_slack) > (double)reach * reach);   // all too far to show
    }
};

// The record at list position `index`.
star_type* star_groups::locate(std::uint32_t index) const
{
    const auto r = std::upper_bound(runs_.begin(), runs_.end(), index,
                                    [](std::uint32_t i, const run& r) { return i < r.first_index; }) - 1;
    return r->first + (index - r->first_index);
}

star_groups::star_groups(star_type* first_star, bool walk_when_cheaper)
    : first_star_(first_star), walk_when_cheaper_(walk_when_cheaper)
{
    // First walk: the runs of the list in memory, the stars kept apart, and a
    // sample of the rest for the grid. Memory is spent sparingly: a walk of
    // the list is cheap next to a fresh page.
    std::vector<float> sample[3];
    std::size_t n = 0, grouped = 0;
    for (star_type* s = first_star; s; s = s->next, ++n) {
        if (n == (std::size_t(1) << position_bits) - 1) {          // too many to number:
            runs_.clear();                                          // every frame walks them all
            always_.clear();
            return;
        }
        if (runs_.empty() || runs_.back().first + (n - runs_.back().first_index) != s)
            runs_.push_back({(std::uint32_t)n, s});
        if (kept_apart(*s)) {
            always_.push_back((std::uint32_t)n);
        } else if (grouped++ % 256 == 0) {
            sample[0].push_back(s->position.x);
            sample[1].push_back(s->position.y);
            sample[2].push_back(s->position.z);
        }
    }
    star_total_ = n;
    const axis_grid grid[3] = {grid_for(sample[0]), grid_for(sample[1]), grid_for(sample[2])};

    // Second and third walks, each half of the list from its own start: how
    // many stars each bucket of the top digit of the key (band and Morton
    // cell) gets, and then every star's word, its key above its list
    // position, straight into its bucket.
    member_bytes_ = std::max<std::size_t>(grouped, 1) * sizeof(std::uint64_t);
    members_ = static_cast<std::uint32_t*>(fresh_pages(member_bytes_));
    std::uint64_t* const words = reinterpret_cast<std::uint64_t*>(members_);
    constexpr std::size_t buckets = std::size_t(1) << top_digit;
    auto each_word = [&](int half, auto&& use) {
        const std::size_t from = half == 0 ? 0 : star_total_ / 2, to = half == 0 ? star_total_ / 2 : star_total_;
        if (from == to) return;
        const star_type* s = locate((std::uint32_t)from);
        for (std::size_t n = from; n < to; ++n, s = s->next) {
            if (kept_apart(*s)) continue;
            const std::uint64_t key = (std::uint64_t)band_of(s->abs_magnitude) << (3 * morton_bits) |
                                      spread_bits(grid[0].cell(s->position.x)) << 2 |
                                      spread_bits(grid[1].cell(s->position.y)) << 1 |
                                      spread_bits(grid[2].cell(s->position.z));
            use(key << position_bits | n);
        }
    };
    std::vector<std::size_t> next_slot[2] = {std::vector<std::size_t>(buckets), std::vector<std::size_t>(buckets)};
    in_two([&](int half) { each_word(half, [&](std::uint64_t w) { ++next_slot[half][w >> top_shift]; }); });
    std::vector<std::size_t> bucket_start(buckets + 1);
    for (std::size_t d = 0, sum = 0; d < buckets; ++d) {        // the first half's stars first
        const std::size_t first_half = next_slot[0][d], second_half = next_slot[1][d];
        bucket_start[d] = next_slot[0][d] = sum;
        next_slot[1][d] = sum + first_half;
        sum += first_half + second_half;
    }
    bucket_start[buckets] = grouped;
    in_two([&](int half) {
        std::size_t* const slot = next_slot[half].data();
        each_word(half, [&](std::uint64_t w) { words[slot[w >> top_shift]++] = w; });
    });

    // Leaves: cut where the band changes or a leaf is full. A leaf's box
    // comes from its stars' cells and its brightest magnitude from its band,
    // so the records need not be read again, out of order; only a leaf in an
    // outer cell, which holds the outliers, or in the open brightest band,
    // reads its records.
    const int band_shift = position_bits + 3 * morton_bits;
    const std::uint64_t top_cell = (1 << morton_bits) - 1;
    const std::uint64_t position_mask = (std::uint64_t(1) << position_bits) - 1;
    const std::uint64_t axis_bits[3] = {spread_bits(top_cell) << 2, spread_bits(top_cell) << 1, spread_bits(top_cell)};
    auto make_leaves = [&](std::size_t from, std::size_t to, std::vector<node>& out) {
        star_type* record_of[leaf_size];
        for (std::size_t k = from; k < to;) {
            std::size_t end = std::min(to, k + leaf_size);
            const std::uint64_t band = words[k] >> band_shift;
            for (std::size_t e = k + 1; e < end; ++e)
                if (words[e] >> band_shift != band) end = e;
            // An axis's bits, masked out of Morton codes, order the codes as
            // the cells order along that axis.
            std::uint64_t least[3] = {~0ull, ~0ull, ~0ull}, most[3] = {0, 0, 0};
            for (std::size_t e = k; e < end; ++e) {
                const std::uint64_t cell = words[e] >> position_bits;
                for (int j = 0; j < 3; ++j) {
                    const std::uint64_t c = cell & axis_bits[j];
                    least[j] = std::min(least[j], c);
                    most[j] = std::max(most[j], c);
                }
            }
            std::uint64_t first[3], last[3];
            for (int j = 0; j < 3; ++j) {
                first[j] = compact_bits(least[j] >> (2 - j));
                last[j] = compact_bits(most[j] >> (2 - j));
            }
            node leaf{{0, 0, 0}, {0, 0, 0}, 0, (std::uint32_t)k, (std::uint32_t)end};
            bool outer = band == 0;
            for (int j = 0; j < 3; ++j) outer |= first[j] == 0 || last[j] == top_cell;
            if (!outer) {
                for (int j = 0; j < 3; ++j) grid[j].bounds(first[j], last[j], leaf.lo[j], leaf.hi[j]);
                leaf.reach = reach_of(brightest_band + band * 0.5f - 0.01f);
            } else {
                for (std::size_t e = k; e < end; ++e) {
                    record_of[e - k] = locate((std::uint32_t)(words[e] & position_mask));
                    __builtin_prefetch(record_of[e - k]);
                }
                const star_type& s0 = *record_of[0];
                float brightest = s0.abs_magnitude;
                for (int j = 0; j < 3; ++j) leaf.lo[j] = leaf.hi[j] = (&s0.position.x)[j];
                for (std::size_t e = 0; e < end - k; ++e) {
                    const star_type& s = *record_of[e];
                    const float v[3] = {s.position.x, s.position.y, s.position.z};
                    for (int j = 0; j < 3; ++j) {
                        leaf.lo[j] = std::min(leaf.lo[j], v[j]);
                        leaf.hi[j] = std::max(leaf.hi[j], v[j]);
                    }
                    brightest = std::min(brightest, s.abs_magnitude);
                }
                leaf.reach = reach_of(brightest);
            }
            out.push_back(leaf);
            k = end;
        }
    };
    // Each bucket sorted by the rest of its key and cut into leaves, the
    // buckets in two runs of about half the stars each, one to a core.
    std::size_t middle = 0;
    while (middle < buckets && bucket_start[middle] < grouped / 2) ++middle;
    std::vector<node> halves[2];
    in_two([&](int half) {
        std::vector<std::uint64_t> scratch;
        for (std::size_t d = half == 0 ? 0 : middle; d < (half == 0 ? middle : buckets); ++d) {
            sort_bucket(words + bucket_start[d], bucket_start[d + 1] - bucket_start[d], scratch);
            make_leaves(bucket_start[d], bucket_start[d + 1], halves[half]);
        }
    });
    std::vector<node> leaves = std::move(halves[0]);
    leaves.insert(leaves.end(), halves[1].begin(), halves[1].end());

    // The words give way to the list positions, in place, front to back (a
    // position is written where a word was already read), and the pages
    // that are left over go back.
    char* const bytes = reinterpret_cast<char*>(members_);
    for (std::size_t e = 0; e < grouped; ++e) {
        std::uint64_t w;
        std::memcpy(&w, bytes + 8 * e, sizeof w);
        const std::uint32_t position = (std::uint32_t)(w & position_mask);
        std::memcpy(bytes + 4 * e, &position, sizeof position);
    }
    const std::size_t page = 4096, kept = (std::max<std::size_t>(grouped, 1) * 4 + page - 1) / page * page;
    if (kept < member_bytes_) {
        munmap(reinterpret_cast<char*>(members_) + kept, member_bytes_ - kept);
        member_bytes_ = kept;
    }
    leaves_ = leaves.size();
    levels_.push_back(std::move(leaves));

    // Parents, fanout children at a time, up to a few roots.
    while (levels_.back().size() > fanout) {
        const std::vector<node>& below = levels_.back();
        std::vector<node> above;
        for (std::size_t k = 0; k < below.size(); k += fanout) {
            const std::size_t end = std::min(below.size(), k + fanout);
            node parent = below[k];
            for (std::size_t e = k + 1; e < end; ++e)
                for (int j = 0; j < 3; ++j) {
                    parent.lo[j] = std::min(parent.lo[j], below[e].lo[j]);
                    parent.hi[j] = std::max(parent.hi[j], below[e].hi[j]);
                }
            for (std::size_t e = k + 1; e < end; ++e) parent.reach = std::max(parent.reach, below[e].reach);
            parent.first = (std::uint32_t)k;
            parent.last = (std::uint32_t)end;
            above.push_back(parent);
        }
        levels_.push_back(std::move(above));
    }
    chosen_.reserve(always_.size() + 4096);
}

star_groups::~star_groups()
{
    if (members_) munmap(members_, member_bytes_);
}

bool star_groups::holds_its_stars() const
{
    if (levels_.empty()) return true;
    for (const node& leaf : levels_[0])
        for (std::uint32_t e = leaf.first; e < leaf.last; ++e) {
            const star_type& s = *locate(members_[e]);
            const float v[3] = {s.position.x, s.position.y, s.position.z};
            for (int j = 0; j < 3; ++j)
                if (!(leaf.lo[j] <= v[j] && v[j] <= leaf.hi[j])) return false;
            if (!(reach_of(s.abs_magnitude) <= leaf.reach)) return false;
        }
    for (std::size_t level = 1; level < levels_.size(); ++level)
        for (const node& parent : levels_[level])
            for (std::uint32_t c = parent.first; c < parent.last; ++c) {
                const node& child = levels_[level - 1][c];
                for (int j = 0; j < 3; ++j)
                    if (!(parent.lo[j] <= child.lo[j] && child.hi[j] <= parent.hi[j])) return false;
                if (!(child.reach <= parent.reach)) return false;
            }
    return true;
}

std::size_t star_groups::bytes() const
{
    std::size_t b = runs_.capacity() * sizeof(run) + member_bytes_ + always_.capacity() * 4 +
                    chosen_.capacity() * 4 + spare_.capacity() * 4;
    for (const auto& level : levels_) b += level.capacity() * sizeof(node);
    return b;
}

void star_groups::visit(std::size_t level, std::uint32_t n, const frame_tests& tests)
{
    const node& g = levels_[level][n];
    if (!tests.may_show(g.lo, g.hi, g.reach)) return;
    if (level == 0) {
        chosen_.insert(chosen_.end(), members_ + g.first, members_ + g.last);
        return;
    }
    for (std::uint32_t c = g.first; c < g.last; ++c) visit(level - 1, c, tests);
}

// The record at list position `index`; `cursor` (the run of the previous
// call) only moves forward, as the positions asked for grow.
inline star_type* star_groups::record(std::uint32_t index, std::size_t& cursor) const
{
    if (cursor + 1 < runs_.size() && runs_[cursor + 1].first_index <= index)
        cursor = std::upper_bound(runs_.begin() + cursor + 1, runs_.end(), index,
                                  [](std::uint32_t i, const run& r) { return i < r.first_index; }) -
                 runs_.begin() - 1;
    return runs_[cursor].first + (index - runs_[cursor].first_index);
}

// The survivors into list order: by digits of the list position from the
// lowest, as many as the list's length needs.
void star_groups::sort_positions()
{
    constexpr int digit = 11;
    if (chosen_.size() < 512) return std::sort(chosen_.begin(), chosen_.end());
    spare_.resize(chosen_.size());
    std::size_t count[1 << digit];
    for (int shift = 0; ((star_total_ - 1) >> shift) > 0; shift += digit) {
        std::fill(count, count + (1 << digit), 0);
        for (std::uint32_t i : chosen_) ++count[i >> shift & ((1 << digit) - 1)];
        std::size_t sum = 0;
        for (std::size_t& c : count) sum += std::exchange(c, sum);
        for (std::uint32_t i : chosen_) spare_[count[i >> shift & ((1 << digit) - 1)]++] = i;
        chosen_.swap(spare_);
    }
}

void star_groups::walk_all(const matrix& view, BITMAP* target, int names)
{
    for (star_type* s = first_star_; s; s = s->next) {
        s->transform_star(view);
        s->draw(target, names);
    }
}

void star_groups::draw(const matrix& view, BITMAP* target, int names)
{
    chosen_.clear();
    walked_all_ = true;
    const frame_tests tests(view);
    if (!tests.usable || levels_.empty()) {              // the whole list, as it stands
        return walk_all(view, target, names);
    }
    for (std::uint32_t n = 0; n < levels_.back().size(); ++n) visit(levels_.size() - 1, n, tests);
    chosen_.insert(chosen_.end(), always_.begin(), always_.end());
    if (walk_when_cheaper_ && chosen_.size() > star_total_ / walk_share) {   // walking the list is cheaper
        return walk_all(view, target, names);
    }
    walked_all_ = false;
    sort_positions();
    std::size_t cursor = 0;
    for (std::uint32_t index : chosen_) {
        star_type* s = record(index, cursor);
        s->transform_star(view);
        s->draw(target, names);
    }
}
