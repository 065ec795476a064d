// The making of the star groups (what they are is in the header).
#include "engine/group_making.h"

#include "engine/leaf_code.h"
#include "engine/lens.h"
#include "engine/radix_sort.h"
#include "base/worker.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <system_error>

// How the groups are made. Stars are sorted by brightness band (half a
// magnitude wide), then along a Morton curve through a grid laid over most of
// the stars, and cut into leaves of at most leaf_size stars that never mix
// bands; leaves and then their parents are gathered fanout at a time up to a
// handful of roots. A star is one 64-bit word while they are sorted, for
// half of the stars (a range of buckets) at a time, and a leaf's box and
// brightness come from its stars' cells and band, because reading a hundred
// million records again out of order costs far more than reading them in
// order once more for the second half. The words go straight to rooms by
// their top digit: for the first half sized from a sample taken on the first
// walk (a walk to count them costs as much as one to write them), what a room
// cannot take kept aside; for the second half counted exactly on the walk
// that writes the first. Each leaf keeps its stars' list positions as a short
// code (see engine/leaf_code.h), written over the words it was made from.
namespace {

constexpr std::size_t sample_step = 256;          // one star in this many foretells the buckets
constexpr std::size_t headroom_share = 32;        // a word of headroom at each end of the rooms per this many stars
constexpr std::size_t fanout = 8;
constexpr int bands = 64;                   // half a magnitude each: -16 and brighter, ..., 15.5 and fainter
constexpr float brightest_band = -16.0f;
constexpr int morton_bits = 9;              // per axis
constexpr int position_bits = 31;           // a word: band, Morton cell, list position
// A leaf's code takes no more than the c 64-bit words it was sorted from: one
// star's fits a word, and each further star adds fewer than 64 bits. So the
// codes can be written over the words they come from.
static_assert(most_code_bits(1, position_bits) <= 64 && position_bits + 2 < 64, "a leaf's code fits its words");

bool kept_apart(const star_type& s)
{
    const float c[3] = {s.position.x, s.position.y, s.position.z};
    for (float v : c)
        if (!(static_cast<double>(std::fabs(v)) <= largest_coordinate)) return true;   // NaN too
    return !std::isfinite(s.abs_magnitude);
}

int band_of(float m)
{
    const float b = (m - brightest_band) * 2;
    return b < 1 ? 0 : b >= bands - 1 ? bands - 1 : (int)b;        // truncation is the floor from 1 up
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

// spread_bits of every cell number, looked up while the groups are made.
struct spread_table {
    std::uint32_t of[1 << morton_bits];
    constexpr spread_table() : of()
    {
        for (std::uint32_t c = 0; c < (1u << morton_bits); ++c)
            for (int b = 0; b < morton_bits; ++b) of[c] |= (c >> b & 1u) << (3 * b);
    }
};
constexpr spread_table spread;

// Where the Morton grid lies along one axis: most stars inside it, a few
// outliers clamped to its faces (they still sort, only less tidily).
struct axis_grid {
    float lo = 0;
    double scale = 0;
    std::uint64_t cell(float v) const
    {
        const double q = (static_cast<double>(v) - static_cast<double>(lo)) * scale;
        const double top = (1 << morton_bits) - 1;
        return q <= 0 ? 0 : q >= top ? (std::uint64_t)top : (std::uint64_t)q;
    }
    // Bounds of everything cell() puts in cells first..last, neither of them
    // an outer cell (those take the outliers): a little generous, rounded outward.
    void bounds(std::uint64_t first, std::uint64_t last, float& low, float& high) const
    {
        const double l = static_cast<double>(lo) + (first - 0.01) / scale;
        const double h = static_cast<double>(lo) + (last + 1.01) / scale;
        low = (float)l;
        high = (float)h;
        if (static_cast<double>(low) > l) low = std::nextafter(low, -std::numeric_limits<float>::infinity());
        if (static_cast<double>(high) < h) high = std::nextafter(high, std::numeric_limits<float>::infinity());
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
    const double pad = 0.05 * (static_cast<double>(hi) - static_cast<double>(lo));
    g.lo = (float)(static_cast<double>(lo) - pad);
    const double width = static_cast<double>(hi) + pad - static_cast<double>(g.lo);
    g.scale = width > 0 ? ((1 << morton_bits) - 1) / width : 0;
    return g;
}

// The words of one bucket of the top digit, sorted by their bits from
// position_bits up to top_shift, into `out`: in two stable passes of a digit
// from the lowest through `scratch` (a bucket of a typical list stays in the
// caches all the while), in place in `out` for fewer than 256 words or more
// than four million. The words come in up to four stretches, apart from
// `out` and `scratch`. After the two passes a word's low bits hold not its
// list position but its place in the stretches, counted from the first: the
// answer is true then.
constexpr int top_digit = 11, top_shift = 64 - top_digit;
constexpr std::size_t large_bucket = std::size_t(1) << 22;
static_assert(top_shift - position_bits == 2 * radix_digit, "two passes of a digit below the top digit");

bool sort_bucket(const std::array<word_stretch, 4>& in, std::size_t n, std::uint64_t* out, std::uint64_t* scratch)
{
    if (n < 256 || n > large_bucket) {
        std::size_t at = 0;
        for (const word_stretch& s : in) {
            if (s.n) std::memcpy(out + at, s.at, s.n * sizeof *out);
            at += s.n;
        }
        sort_high_bits(out, n, top_shift, position_bits);
        return false;
    }
    sort_two_digits(in.data(), in.size(), n, out, scratch, position_bits);
    return true;
}

// Pages for the words of a list of about `length` stars, made ready on a
// thread of its own until stop(): the headroom ahead of the rooms is left for
// later, the first pass's words (about half the list's) are written once.
class readied_pages {
public:
    explicit readied_pages(std::size_t length)
    {
        if (length < (std::size_t(1) << 20)) return;
        pages_ = mapped_pages((length / headroom_share + length + length / 2) * sizeof(std::uint64_t));
        try {
            worker_ = worker([this, length](const std::atomic<bool>& stopping) {
                volatile char* const p = pages_.data();
                const std::size_t end = (length / headroom_share + length / 2) * sizeof(std::uint64_t);
                for (std::size_t b = length / headroom_share * sizeof(std::uint64_t); b < end && !stopping; b += 4096) p[b] = 0;
            });
        } catch (const std::system_error&) {}               // no thread to be had: the pages are written later
    }
    ~readied_pages() { stop(); }
    readied_pages(const readied_pages&) = delete;
    readied_pages& operator=(const readied_pages&) = delete;

    void stop()
    {
        worker_.stop();
        worker_.wait();
    }
    // `bytes` of zeroed memory: the readied pages when they are enough,
    // fresh ones otherwise.
    mapped_pages take(std::size_t bytes)
    {
        stop();
        if (!pages_.data() || bytes > pages_.size()) return mapped_pages(bytes);
        pages_.keep_first(bytes);
        return std::move(pages_);
    }

private:
    mapped_pages pages_;
    worker worker_;
};

constexpr std::size_t buckets = std::size_t(1) << top_digit;

// What the first walk learns of the stars that are not kept apart: a sample
// of their places and magnitudes, where in the list each sampled star lies,
// and how many such stars there are.
struct star_sample {
    std::vector<float> axis[3], magnitude;
    std::vector<std::uint32_t> at;
    std::size_t grouped = 0;
};

// A star's word: its band, its Morton cell in the grid laid over the sample,
// and its list position. Also the reach of each band's brightest star.
struct key_maker {
    axis_grid grid[3];
    float band_reach[bands];

    std::uint64_t word(float x, float y, float z, float m, std::size_t index) const
    {
        const std::uint64_t key = (std::uint64_t)band_of(m) << (3 * morton_bits) |
                                  (std::uint64_t)spread.of[grid[0].cell(x)] << 2 |
                                  (std::uint64_t)spread.of[grid[1].cell(y)] << 1 |
                                  spread.of[grid[2].cell(z)];
        return key << position_bits | index;
    }
    std::uint64_t word(const star_type& s, std::size_t index) const
    {
        return word(s.position.x, s.position.y, s.position.z, s.abs_magnitude, index);
    }
};

// Where one pass's words go: the buckets of the top digit it sorts, [first,
// end), and for each bucket and each half of the list a room foretold by the
// sample; a bucket's two rooms lie side by side, the buckets in order, with
// headroom before the first and after the last. Word counts throughout, from
// the start of the words' pages once place() has put the rooms somewhere.
struct pass_rooms {
    std::size_t first = 0, end = 0;
    std::size_t headroom = 0;
    std::vector<std::size_t> room[2] = {std::vector<std::size_t>(buckets), std::vector<std::size_t>(buckets)};
    std::vector<std::size_t> start[2] = {std::vector<std::size_t>(buckets), std::vector<std::size_t>(buckets)};
    std::vector<std::size_t> region = std::vector<std::size_t>(buckets + 1);   // where a bucket's rooms begin
    std::size_t last_word = 0;                                                 // past the headroom after them

    std::size_t span() const
    {
        std::size_t words = 2 * headroom;
        for (std::size_t d = first; d < end; ++d) words += room[0][d] + room[1][d];
        return words;
    }
    // Rooms of just the words counted, by half and bucket, on an earlier walk.
    void count_exactly(const std::array<std::vector<std::size_t>, 2>& counted)
    {
        for (int half = 0; half < 2; ++half)
            for (std::size_t d = first; d < end; ++d) room[half][d] = counted[half][d];
        headroom = 0;
    }
    void place(std::size_t base)
    {
        std::size_t at = base + headroom;
        for (std::size_t d = first; d < end; ++d) {
            region[d] = at;
            for (int half = 0; half < 2; ++half) {
                start[half][d] = at;
                at += room[half][d];
            }
        }
        region[end] = at;
        last_word = at + headroom;
    }
};

// A pass's words once the list has been walked: each room filled from its
// start up to `filled`, and the words that found their room full, by bucket.
struct bucket_words {
    const std::uint64_t* words;
    std::vector<std::size_t> filled[2];
    std::vector<std::uint64_t> spilled[2];
    std::vector<std::size_t> spill_start[2];        // a bucket's first spilled word; one more at the end

    // A bucket's words in list order: each half's room, then what it spilled.
    std::array<word_stretch, 4> pieces(const pass_rooms& rooms, std::size_t d) const
    {
        return {{{words + rooms.start[0][d], filled[0][d] - rooms.start[0][d]},
                 {spilled[0].data() + spill_start[0][d], spill_start[0][d + 1] - spill_start[0][d]},
                 {words + rooms.start[1][d], filled[1][d] - rooms.start[1][d]},
                 {spilled[1].data() + spill_start[1][d], spill_start[1][d + 1] - spill_start[1][d]}}};
    }
    std::size_t size(const pass_rooms& rooms, std::size_t d) const
    {
        std::size_t n = 0;
        for (const word_stretch& p : pieces(rooms, d)) n += p.n;
        return n;
    }
};

// Where one pass's codes go while its buckets are sorted (see sort_and_cut),
// and what the sorting leaves for the packing after it: by bucket, its word
// count, its first leaf (one more at the end) and where its codes were put.
struct code_plan {
    std::vector<std::size_t> size = std::vector<std::size_t>(buckets);
    std::vector<std::size_t> first_leaf = std::vector<std::size_t>(buckets + 1);
    std::vector<std::size_t> code_at = std::vector<std::size_t>(buckets);
    std::size_t middle = 0;                     // the second run's first bucket
    bool in_place = true;                       // the codes among the words, else in own_pages
    mapped_pages own_pages;
    char* area = nullptr;                       // where the runs write their codes
    std::size_t front = 0, back = 0;            // bytes of `area`: where the first run's codes begin, the second's end
    std::size_t run_end[2] = {0, 0};            // where the first run's codes end, the second's begin
};

// A bucket of `n` words, from its stretches in list order, sorted into
// `sorted` (through `work`, as sort_bucket does), then each of its leaves'
// list positions, ascending, leaf_size apart in the array given back (in
// `work`). `fill` is room for a count per leaf.
const std::uint32_t* positions_by_leaf(const std::array<word_stretch, 4>& in, std::size_t n, std::uint64_t* sorted,
                                       std::uint64_t* work, std::vector<std::uint8_t>& fill)
{
    const bool by_place = sort_bucket(in, n, sorted, work);
    std::uint32_t* const leaf_of = reinterpret_cast<std::uint32_t*>(work);
    std::uint32_t* const grouped = leaf_of + n;
    constexpr std::uint64_t low_bits = (std::uint64_t(1) << position_bits) - 1;
    if (by_place) {                 // the stretches are in list order: deal them out to their leaves
        for (std::size_t r = 0; r < n; ++r) leaf_of[sorted[r] & low_bits] = (std::uint32_t)(r / leaf_size);
        fill.assign((n + leaf_size - 1) / leaf_size, 0);
        std::size_t place = 0;
        for (const word_stretch& s : in)
            for (std::size_t i = 0; i < s.n; ++i, ++place) {
                const std::uint32_t l = leaf_of[place];
                grouped[l * leaf_size + fill[l]++] = (std::uint32_t)(s.at[i] & low_bits);
            }
    } else {
        for (std::size_t r = 0; r < n; ++r) grouped[r] = (std::uint32_t)(sorted[r] & low_bits);
        for (std::size_t r = 0; r < n; r += leaf_size) std::sort(grouped + r, grouped + std::min(n, r + leaf_size));
    }
    return grouped;
}

// The groups of one list, made step by step.
class group_maker {
public:
    explicit group_maker(star_type* first_star) : first_star_(first_star) {}
    grouping make(std::size_t length_hint);

private:
    bool sample_list(star_sample& sample);
    static key_maker keys_for(const star_sample& sample);
    std::array<pass_rooms, 2> plan_passes(const star_sample& sample, const key_maker& keys) const;
    bucket_words write_keys(const key_maker& keys, const pass_rooms& rooms, std::uint64_t* words,
                            std::array<std::vector<std::size_t>, 2>* later) const;
    void write_half(unsigned half, const key_maker& keys, const pass_rooms& rooms, std::uint64_t* words, bucket_words& out,
                    std::vector<std::uint64_t>& spilled, std::array<std::vector<std::size_t>, 2>* later) const;
    std::size_t sort_and_cut(const key_maker& keys, const pass_rooms& rooms, const bucket_words& words, std::size_t code_end);
    code_plan plan_codes(const pass_rooms& rooms, const bucket_words& words, std::size_t code_end) const;
    void sort_run(unsigned which, const key_maker& keys, const pass_rooms& rooms, const bucket_words& words,
                  code_plan& plan);
    std::size_t pack_codes(const pass_rooms& rooms, const code_plan& plan, std::size_t code_end);
    void cut_leaves(const key_maker& keys, const std::uint64_t* w, const std::uint32_t* position, std::size_t count,
                    leaf_code_writer& codes, group_node* out) const;
    void read_box(const std::uint32_t* position, std::size_t n, group_node& leaf) const;
    void make_parents();

    star_type* first_star_;
    grouping made_;
};

} // namespace

float reach_of(float m)
{
    const double r = lens::reach((double)m) * (1 + reach_slack);
    float f = (float)r;
    if ((double)f < r) f = std::nextafter(f, std::numeric_limits<float>::infinity());
    return f;
}

// The record at list position `index`.
star_type* grouping::locate(std::uint32_t index) const
{
    const auto r = std::upper_bound(runs.begin(), runs.end(), index,
                                    [](std::uint32_t i, const list_run& later) { return i < later.first_index; }) - 1;
    return r->first + (index - r->first_index);
}

// Sample: the first walk. The runs of the list in memory, the stars kept
// apart, and one star in sample_step of the rest. False when the list is too
// long to number its stars: every frame then walks it all.
bool group_maker::sample_list(star_sample& sample)
{
    std::size_t n = 0;
    for (star_type* s = first_star_; s; s = s->next, ++n) {
        if (n == (std::size_t(1) << position_bits) - 1) {
            made_.runs.clear();
            made_.always.clear();
            return false;
        }
        if (made_.runs.empty() || made_.runs.back().first + (n - made_.runs.back().first_index) != s)
            made_.runs.push_back({(std::uint32_t)n, s});
        if (kept_apart(*s)) {
            made_.always.push_back((std::uint32_t)n);
        } else if (sample.grouped++ % sample_step == 0) {
            sample.axis[0].push_back(s->position.x);
            sample.axis[1].push_back(s->position.y);
            sample.axis[2].push_back(s->position.z);
            sample.magnitude.push_back(s->abs_magnitude);
            sample.at.push_back((std::uint32_t)n);
        }
    }
    made_.star_total = n;
    return true;
}

// Keys: the grid from the sample's places.
key_maker group_maker::keys_for(const star_sample& sample)
{
    key_maker keys;
    for (int j = 0; j < 3; ++j) {
        std::vector<float> along = sample.axis[j];
        keys.grid[j] = grid_for(along);
    }
    for (int b = 0; b < bands; ++b) keys.band_reach[b] = reach_of(brightest_band + static_cast<float>(b) * 0.5f - 0.01f);
    return keys;
}

// The two passes: the buckets holding the sample's first half and those
// holding the rest, each bucket's rooms as the sample foretells them with a
// little to spare. Sorting one half of the stars at a time keeps a 64-bit
// word for only half of them at once.
std::array<pass_rooms, 2> group_maker::plan_passes(const star_sample& sample, const key_maker& keys) const
{
    std::vector<std::size_t> seen[2] = {std::vector<std::size_t>(buckets), std::vector<std::size_t>(buckets)};
    const std::size_t half_way = made_.star_total / 2;
    for (std::size_t i = 0; i < sample.at.size(); ++i) {
        const std::uint64_t w = keys.word(sample.axis[0][i], sample.axis[1][i], sample.axis[2][i], sample.magnitude[i], 0);
        ++seen[sample.at[i] >= half_way][w >> top_shift];
    }
    std::size_t split = 0;
    for (std::size_t sum = 0; split < buckets && 2 * sum < sample.at.size(); ++split) sum += seen[0][split] + seen[1][split];

    std::array<pass_rooms, 2> passes;
    passes[0].end = passes[1].first = split;
    passes[1].end = buckets;
    for (pass_rooms& pass : passes) {
        std::size_t foretold = 0;
        for (std::size_t d = pass.first; d < pass.end; ++d)
            for (int half = 0; half < 2; ++half) {
                const std::size_t n = seen[half][d];
                // A count foretold from `n` sampled stars is off by about
                // sample_step * sqrt(n); the room allows that much more (a
                // room that overflows keeps the rest aside).
                pass.room[half][d] = n ? (n + 1) * sample_step + (std::size_t)(sample_step * std::sqrt(static_cast<double>(n))) : 0;
                foretold += n * sample_step;
            }
        // Room ahead of the rooms, and after them, for the codes of the
        // first buckets sorted from each end (see sort_and_cut).
        pass.headroom = foretold / headroom_share;
    }
    return passes;
}

// Keys, on the list's second and third walks: each half of the list from its
// own start, on a core of its own, every star of the pass's buckets as its
// word, its key above its list position, into its half's room in its bucket,
// or, when that is full, among the half's spilled words, which are then put
// in bucket order. The words of other buckets are counted, by half and
// bucket, into `later` when it is given: the next pass's rooms are then exact.
bucket_words group_maker::write_keys(const key_maker& keys, const pass_rooms& rooms, std::uint64_t* words,
                                     std::array<std::vector<std::size_t>, 2>* later) const
{
    bucket_words out;
    out.words = words;
    out.filled[0] = rooms.start[0];
    out.filled[1] = rooms.start[1];
    std::vector<std::uint64_t> spill[2];
    if (later) (*later)[0].assign(buckets, 0), (*later)[1].assign(buckets, 0);
    on_threads(2, [&](unsigned half) { write_half(half, keys, rooms, words, out, spill[half], later); });
    for (int half = 0; half < 2; ++half) {
        std::vector<std::size_t>& at = out.spill_start[half];
        at.assign(buckets + 1, 0);
        for (std::uint64_t w : spill[half]) ++at[w >> top_shift];
        for (std::size_t d = 0, sum = 0; d <= buckets; ++d) sum += std::exchange(at[d], sum);
        out.spilled[half].resize(spill[half].size());
        std::vector<std::size_t> next(at.begin(), at.end() - 1);
        for (std::uint64_t w : spill[half]) out.spilled[half][next[w >> top_shift]++] = w;
        std::vector<std::uint64_t>().swap(spill[half]);
    }
    return out;
}

// One half of the list's walk for write_keys: its words into their rooms, up
// to `out.filled`, or into `spilled`, and the other passes' words counted.
void group_maker::write_half(unsigned half, const key_maker& keys, const pass_rooms& rooms, std::uint64_t* words,
                             bucket_words& out, std::vector<std::uint64_t>& spilled,
                             std::array<std::vector<std::size_t>, 2>* later) const
{
    const std::size_t half_way = made_.star_total / 2;
    const std::size_t from = half == 0 ? 0 : half_way, to = half == 0 ? half_way : made_.star_total;
    if (from == to) return;
    // Per bucket the next slot of its room and where the room ends; the
    // buckets of other passes only count, with no end. Whether a star is
    // this pass's follows no pattern along the list, so the walk does not
    // branch on it: another pass's word is written where it is dropped.
    std::vector<std::size_t> next(buckets, 0), end(buckets, SIZE_MAX);
    for (std::size_t d = rooms.first; d < rooms.end; ++d) {
        next[d] = rooms.start[half][d];
        end[d] = next[d] + rooms.room[half][d];
    }
    // Held here, as the words written might otherwise alias them.
    std::size_t* const next_of = next.data();
    const std::size_t* const end_of = end.data();
    std::uint64_t* const into = words;
    const key_maker k = keys;
    const std::size_t first = rooms.first, count = rooms.end - rooms.first;
    std::uint64_t dropped;
    const star_type* s = made_.locate((std::uint32_t)from);
    for (std::size_t n = from; n < to; ++n, s = s->next) {
        if (kept_apart(*s)) continue;
        const std::uint64_t w = k.word(*s, n);
        const std::size_t d = w >> top_shift;
        const std::size_t at = next_of[d];
        if (at == end_of[d]) {                                         // the room is full
            spilled.push_back(w);
            continue;
        }
        next_of[d] = at + 1;
        *(d - first < count ? into + at : &dropped) = w;
    }
    for (std::size_t d = 0; d < buckets; ++d) {
        if (d >= rooms.first && d < rooms.end) out.filled[half][d] = next[d];
        else if (later) (*later)[half][d] = next[d];
    }
}

// Leaves: sorted words of one band cut into leaves of at most leaf_size stars,
// into `out`, their list positions (leaf_size to a leaf, ascending in each, in
// `position`) coded by `codes`. A leaf's box comes from its stars' cells and
// its brightest magnitude from its band, so the records need not be read
// again, out of order; only a leaf in an outer cell, which holds the outliers,
// or in the open brightest band, reads its records. The codes may be written
// over the words: a leaf's words are read before its code is written.
void group_maker::cut_leaves(const key_maker& keys, const std::uint64_t* w, const std::uint32_t* position,
                             std::size_t count, leaf_code_writer& codes, group_node* out) const
{
    constexpr int band_shift = position_bits + 3 * morton_bits;
    constexpr std::uint64_t top_cell = (1 << morton_bits) - 1;
    const std::uint64_t axis_bits[3] = {spread_bits(top_cell) << 2, spread_bits(top_cell) << 1, spread_bits(top_cell)};
    const int band = (int)(w[0] >> band_shift);
    for (std::size_t k = 0; k < count; k += leaf_size) {
        const std::size_t end = std::min(count, k + leaf_size);
        // An axis's bits, masked out of Morton codes, order the codes as
        // the cells order along that axis.
        std::uint64_t least[3] = {~0ull, ~0ull, ~0ull}, most[3] = {0, 0, 0};
        for (std::size_t e = k; e < end; ++e) {
            const std::uint64_t cell = w[e] >> position_bits;
            for (int j = 0; j < 3; ++j) {
                const std::uint64_t c = cell & axis_bits[j];
                least[j] = std::min(least[j], c);
                most[j] = std::max(most[j], c);
            }
        }
        std::uint64_t low[3], high[3];
        for (int j = 0; j < 3; ++j) {
            low[j] = compact_bits(least[j] >> (2 - j));
            high[j] = compact_bits(most[j] >> (2 - j));
        }
        group_node leaf{{0, 0, 0}, {0, 0, 0}, 0, 0, 0};
        bool outer = band == 0;
        for (int j = 0; j < 3; ++j) outer |= low[j] == 0 || high[j] == top_cell;
        if (!outer) {
            for (int j = 0; j < 3; ++j) keys.grid[j].bounds(low[j], high[j], leaf.lo[j], leaf.hi[j]);
            leaf.reach = keys.band_reach[band];
        } else {
            read_box(position + k, end - k, leaf);
        }
        leaf.first = codes.units();
        leaf.last = (std::uint32_t)(end - k) | (std::uint32_t)codes.leaf(position + k, end - k, made_.first_bits) << count_bits;
        out[k / leaf_size] = leaf;
    }
}

// The box and reach of a leaf of `n` stars from their records, at list
// positions `position`.
void group_maker::read_box(const std::uint32_t* position, std::size_t n, group_node& leaf) const
{
    if (n == 0) return;                                 // no leaf is empty
    star_type* record_of[leaf_size];
    for (std::size_t e = 0; e < n; ++e) {
        record_of[e] = made_.locate(position[e]);
        __builtin_prefetch(record_of[e]);
    }
    const star_type& s0 = *record_of[0];
    float brightest = s0.abs_magnitude;
    for (int j = 0; j < 3; ++j) leaf.lo[j] = leaf.hi[j] = (&s0.position.x)[j];
    for (std::size_t e = 0; e < n; ++e) {
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

// Sort and leaves for one pass: each bucket sorted by the rest of its key,
// cut into leaves (after those made so far) and its leaves' codes written
// from byte `code_end` of the groups' pages; gives where the codes end.
//
// The buckets are sorted in two runs of about half the pass's stars each, one
// to a core: the first from the first bucket up, its codes from code_end on,
// the second from the last bucket down, its codes packed against the end of
// the pass's words, each bucket's codes written once its words are read, and
// moved next to the first run's at the end. A bucket's codes take no more
// bytes than its words, so that is safe while no run has more words to code
// than the rooms it has read hold, which exact rooms always do and rooms
// foretold by the sample do unless it misled them (the headroom at both ends
// is for that); otherwise the codes go to pages of their own and are copied
// into place once every word has been read. A bucket of more than four
// million words is sorted in pages of its own.
std::size_t group_maker::sort_and_cut(const key_maker& keys, const pass_rooms& rooms, const bucket_words& words,
                                      std::size_t code_end)
{
    code_plan plan = plan_codes(rooms, words, code_end);
    made_.levels[0].resize(plan.first_leaf[rooms.end]);
    on_threads(2, [&](unsigned which) { sort_run(which, keys, rooms, words, plan); });
    return pack_codes(rooms, plan, code_end);
}

// Plan: each bucket's size and first leaf, where the second run begins, and
// whether the codes can be written among the words.
code_plan group_maker::plan_codes(const pass_rooms& rooms, const bucket_words& words, std::size_t code_end) const
{
    const std::size_t b0 = rooms.first, b1 = rooms.end;
    code_plan plan;
    plan.first_leaf[b0] = made_.levels[0].size();
    std::size_t total = 0;
    for (std::size_t d = b0; d < b1; ++d) {
        plan.size[d] = words.size(rooms, d);
        total += plan.size[d];
        plan.first_leaf[d + 1] = plan.first_leaf[d] + (plan.size[d] + leaf_size - 1) / leaf_size;
    }
    std::size_t middle = b0;
    for (std::size_t sum = 0; middle < b1 && 2 * sum < total; ++middle) sum += plan.size[middle];
    bool in_place = code_end <= 8 * rooms.region[b0];
    for (std::size_t d = b0, sum = 0; d < middle; ++d) in_place &= code_end + 8 * (sum += plan.size[d]) <= 8 * rooms.region[d + 1];
    for (std::size_t d = b1, sum = 0; d > middle; --d) in_place &= 8 * rooms.region[d - 1] + 8 * (sum += plan.size[d - 1]) <= 8 * rooms.last_word;
    plan.middle = middle;
    plan.in_place = in_place;
    if (!in_place) plan.own_pages = mapped_pages(8 * std::max<std::size_t>(total, 1));
    plan.area = in_place ? made_.member_pages.data() : plan.own_pages.data();
    plan.front = in_place ? code_end : 0;
    plan.back = in_place ? 8 * rooms.last_word : 8 * total;
    plan.run_end[0] = plan.front;
    plan.run_end[1] = plan.back;
    return plan;
}

// Sort: one run of buckets, on a core of its own (run 0 from the first bucket
// up, run 1 from the last down), each bucket sorted, cut into its leaves and
// its leaves' codes written into the plan's area.
void group_maker::sort_run(unsigned which, const key_maker& keys, const pass_rooms& rooms, const bucket_words& words,
                           code_plan& plan)
{
    const std::size_t from = which == 0 ? rooms.first : plan.middle, end = which == 0 ? plan.middle : rooms.end;
    std::size_t most = 1;
    for (std::size_t d = from; d < end; ++d)
        if (plan.size[d] <= large_bucket) most = std::max(most, plan.size[d]);
    const mapped_pages scratch_pages(2 * most * sizeof(std::uint64_t));
    std::uint64_t* const scratch = reinterpret_cast<std::uint64_t*>(scratch_pages.data());
    std::size_t& cursor = plan.run_end[which];
    std::vector<std::uint8_t> fill;             // stars dealt to each leaf so far
    for (std::size_t k = 0; k < end - from; ++k) {
        const std::size_t d = which == 0 ? from + k : end - 1 - k, n = plan.size[d];
        if (n == 0) continue;
        std::uint64_t *sorted = scratch + most, *work = scratch;
        mapped_pages large, large_work;
        if (n > large_bucket) {
            sorted = reinterpret_cast<std::uint64_t*>((large = mapped_pages(n * sizeof(std::uint64_t))).data());
            work = reinterpret_cast<std::uint64_t*>((large_work = mapped_pages(n * sizeof(std::uint64_t))).data());
        }
        const std::uint32_t* const grouped = positions_by_leaf(words.pieces(rooms, d), n, sorted, work, fill);
        leaf_code_writer codes(sorted);
        cut_leaves(keys, sorted, grouped, n, codes, made_.levels[0].data() + plan.first_leaf[d]);
        codes.finish();
        const std::size_t bytes = 4 * (std::size_t)codes.units();
        if (which == 1) cursor -= bytes;
        std::memcpy(plan.area + cursor, sorted, bytes);
        plan.code_at[d] = cursor;
        if (which == 0) cursor += bytes;
    }
}

// Pack: the second run's codes next to the first's, then every leaf told
// where its code lies; gives where the codes end.
std::size_t group_maker::pack_codes(const pass_rooms& rooms, const code_plan& plan, std::size_t code_end)
{
    char* const at = made_.member_pages.data();
    const std::size_t first_run = plan.run_end[0] - plan.front, second_run = plan.back - plan.run_end[1];
    if (plan.in_place) {
        std::memmove(at + plan.run_end[0], plan.area + plan.run_end[1], second_run);
    } else {
        std::memcpy(at + code_end, plan.area, first_run);
        std::memcpy(at + code_end + first_run, plan.area + plan.run_end[1], second_run);
    }
    group_node* const leaves = made_.levels[0].data();
    for (std::size_t d = rooms.first; d < rooms.end; ++d) {
        if (plan.size[d] == 0) continue;
        const std::size_t placed = code_end + (d < plan.middle ? plan.code_at[d] - plan.front
                                                               : first_run + plan.code_at[d] - plan.run_end[1]);
        for (std::size_t l = plan.first_leaf[d]; l < plan.first_leaf[d + 1]; ++l) leaves[l].first += (std::uint32_t)(placed / 4);
    }
    return code_end + first_run + second_run;
}

// Parents, fanout children at a time, up to a few roots.
void group_maker::make_parents()
{
    while (made_.levels.back().size() > fanout) {
        const node_array& below = made_.levels.back();
        node_array above;
        above.reserve((below.size() + fanout - 1) / fanout);
        for (std::size_t k = 0; k < below.size(); k += fanout) {
            const std::size_t end = std::min(below.size(), k + fanout);
            group_node parent = below[k];
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
        made_.levels.push_back(std::move(above));
    }
}

grouping group_maker::make(std::size_t length_hint)
{
    // While one core walks the list, the other readies pages for the words of
    // a list of about the length foretold (first writes to fresh pages are
    // the dearest part of making the groups).
    readied_pages readied(length_hint);
    star_sample sample;
    if (!sample_list(sample)) return std::move(made_);  // too many to number: every frame walks them all
    readied.stop();
    made_.first_bits = bits_to_number(made_.star_total);
    const key_maker keys = keys_for(sample);
    std::array<pass_rooms, 2> passes = plan_passes(sample, keys);

    // One mapping for the words of either pass and, at its front, the codes
    // of the leaves made so far: the second pass's rooms lie after the first
    // pass's codes, which take no more bytes than its words did.
    const std::size_t words = std::max(passes[0].span(), sample.grouped + 2);
    made_.member_pages = readied.take(words * sizeof(std::uint64_t));
    made_.levels.emplace_back();
    made_.levels[0].reserve(sample.grouped / leaf_size + buckets);
    // A pass's spent words go back where the next pass's rooms do not reach:
    // those pages are written again without the cost of fresh ones.
    std::size_t code_end = 0;
    for (std::size_t p = 0; p < passes.size(); ++p) {
        pass_rooms& pass = passes[p];
        pass.place((code_end + 7) / 8);
        std::array<std::vector<std::size_t>, 2> later;
        const bool last_pass = p + 1 == passes.size();
        const bucket_words written = write_keys(keys, pass, reinterpret_cast<std::uint64_t*>(made_.member_pages.data()),
                                                last_pass ? nullptr : &later);
        if (!last_pass) passes[p + 1].count_exactly(later);
        code_end = sort_and_cut(keys, pass, written, code_end);
        const std::size_t next = last_pass ? 0 : (code_end + 7) / 8 + passes[p + 1].span();
        made_.member_pages.release(std::max(code_end, 8 * next), 8 * pass.last_word);
    }
    made_.member_pages.keep_first(code_end + 2 * sizeof(std::uint64_t));     // a word to spare for the codes' reader
    made_.codes = reinterpret_cast<const std::uint64_t*>(made_.member_pages.data());
    make_parents();
    return std::move(made_);
}

grouping make_groups(star_type* first_star, std::size_t length_hint)
{
    return group_maker(first_star).make(length_hint);
}
