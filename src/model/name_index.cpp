// The name index: search forms, the index made in steps from the list, and
// the search over it.
#include "model/name_index.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace {

// Writes the name with single spaces and none at either end into `out`, at
// most `room` characters, lower-casing ASCII letters when asked. Returns the
// length written. Only ASCII is folded, so the result never depends on a locale.
std::size_t fold(const char* name, char* out, std::size_t room, bool lower)
{
    std::size_t n = 0;
    bool gap = false;
    for (const char* p = name; *p && n < room; ++p) {
        char ch = *p;
        if (ch == ' ') { gap = n > 0; continue; }             // leading spaces vanish
        if (gap) {
            out[n++] = ' ';
            gap = false;
            if (n == room) break;
        }
        if (lower && ch >= 'A' && ch <= 'Z') ch = (char)(ch - 'A' + 'a');
        out[n++] = ch;
    }
    return n;
}

std::string folded(const char* name, bool lower)
{
    std::string out(std::strlen(name), '\0');
    out.resize(fold(name, &out[0], out.size(), lower));
    return out;
}

} // namespace

std::string search_form(const char* name) { return folded(name, true); }

namespace {

// The search form of a record's name, zero-padded; false when it has none.
inline bool key_of(const star_type* s, name_index::key& k)
{
    std::memset(k, 0, sizeof k);
    return fold(s->name, k, sizeof k, true) > 0;
}

constexpr std::size_t sample_step = 256;           // one named star in this many foretells the batches
constexpr std::size_t max_batches = 1024;          // sorted one after another

// One named star while its batch is sorted.
struct sort_entry {
    name_index::key k;
    std::uint32_t index;                           // list position
};

bool before(const sort_entry& a, const sort_entry& b)
{
    const int c = std::memcmp(a.k, b.k, sizeof a.k);
    return c != 0 ? c < 0 : a.index < b.index;     // equal names in catalog order
}

} // namespace

// The index is made in batches of names, so that beside the list positions
// it keeps, no more than one batch's names are held at a time: a first walk
// takes a sample of the names, which cuts the range of names into batches, a
// second counts each batch's stars, a third writes each named star's list
// position into its batch's stretch of the index, and each batch in turn
// reads its names again from the records, is sorted and written back in name
// order. Between the steps, and every so many stars or batches within them,
// the build looks at the flag that asks it to stop.
class name_index::builder {
public:
    builder(name_index& made, const star_type* first, const std::atomic<bool>& stopping, const step_hook& step_done)
        : made_(made), first_(first), stopping_(stopping), step_done_(step_done) {}

    void build()
    {
        step(&builder::find_runs_and_sample_names);
        if (named_ == 0) return;
        if (length_ > std::numeric_limits<std::uint32_t>::max()) throw std::bad_alloc();   // beyond any catalog
        step(&builder::bound_batches);
        step(&builder::count_each_batch);
        step(&builder::place_positions_by_batch);
        step(&builder::sort_each_batch);
    }

private:
    static constexpr std::size_t stars_between_looks = 65536;   // at the stop flag, in a walk

    name_index& made_;
    const star_type* const first_;
    const std::atomic<bool>& stopping_;
    const step_hook& step_done_;
    int steps_ = 0;
    std::size_t length_ = 0, named_ = 0;           // stars in the list, and of them named
    std::vector<sort_entry> sample_;               // every sample_step-th named star
    std::vector<sort_entry> bound_;                // the first name of each batch after the first
    std::size_t batches_ = 0;
    std::vector<std::size_t> start_;               // where each batch's stretch begins, and the end
    std::size_t largest_ = 1;                      // stars in the largest batch

    void go_on() const
    {
        if (stopping_.load(std::memory_order_relaxed)) throw abandoned();
    }
    void look_at_stop(std::size_t stars_walked) const
    {
        if (stars_walked % stars_between_looks == 0) go_on();
    }
    // One step of build_steps, unless asked to stop before it.
    void step(void (builder::*what)())
    {
        go_on();
        (this->*what)();
        ++steps_;
        if (step_done_) step_done_(steps_, stopping_);
    }

    // The batch of a named star; false when it has no name.
    bool batch_of(const star_type* s, std::size_t& b) const
    {
        sort_entry e;
        if (!key_of(s, e.k)) return false;
        e.index = 0;
        b = std::upper_bound(bound_.begin(), bound_.end(), e, before) - bound_.begin();
        return true;
    }

    // A walk of the list: the runs of it in memory and a sample of the names.
    void find_runs_and_sample_names()
    {
        std::vector<run>& runs = made_.runs_;
        for (const star_type* s = first_; s; s = s->next, ++length_) {
            look_at_stop(length_);
            if (runs.empty() || runs.back().first + (length_ - runs.back().first_index) != s)
                runs.push_back({length_, s});
            sort_entry e;
            if (!key_of(s, e.k)) continue;                         // no name, or only spaces
            if (named_++ % sample_step == 0) {
                e.index = (std::uint32_t)length_;
                sample_.push_back(e);
            }
        }
    }

    // The batches' bounds: every so many sampled names, the first of each
    // later batch.
    void bound_batches()
    {
        std::sort(sample_.begin(), sample_.end(), before);
        batches_ = std::min<std::size_t>(max_batches, sample_.size());
        bound_.reserve(batches_);
        for (std::size_t b = 1; b < batches_; ++b) {
            sort_entry e = sample_[b * sample_.size() / batches_];
            e.index = 0;                                           // a name's every star in one batch
            bound_.push_back(e);
        }
        std::vector<sort_entry>().swap(sample_);
    }

    // A walk that counts each batch's stars, and so where its stretch begins.
    void count_each_batch()
    {
        start_.assign(batches_ + 1, 0);
        std::size_t b = 0, n = 0;
        for (const star_type* s = first_; s; s = s->next, ++n) {
            look_at_stop(n);
            if (batch_of(s, b)) ++start_[b + 1];
        }
        for (b = 0; b < batches_; ++b) {
            largest_ = std::max(largest_, start_[b + 1]);
            start_[b + 1] += start_[b];
        }
    }

    // A walk that writes each named star's list position into its batch's
    // stretch, in list order.
    void place_positions_by_batch()
    {
        made_.bits_ = bits_to_number(length_);
        made_.count_ = named_;
        made_.order_ = mapped_pages(((named_ * (std::size_t)made_.bits_ + 63) / 64 + 1) * sizeof(std::uint64_t));
        std::uint64_t* const words = reinterpret_cast<std::uint64_t*>(made_.order_.data());
        std::vector<std::size_t> next(start_.begin(), start_.end() - 1);
        std::size_t n = 0, b = 0;
        for (const star_type* s = first_; s; s = s->next, ++n) {
            look_at_stop(n);
            if (batch_of(s, b)) put_bits(words, next[b]++, made_.bits_, n);
        }
    }

    // Each batch in turn: its names read again, sorted, the positions written
    // back in name order, and the different names counted on the way.
    void sort_each_batch()
    {
        mapped_pages scratch(largest_ * sizeof(sort_entry));
        sort_entry* const batch = reinterpret_cast<sort_entry*>(scratch.data());
        std::uint64_t* const words = reinterpret_cast<std::uint64_t*>(made_.order_.data());
        const std::vector<run>& runs = made_.runs_;
        const int bits = made_.bits_;
        std::vector<std::uint32_t>& names_before = made_.names_before_;
        names_before.reserve(named_ / block + 1);
        std::size_t names = 0;
        key last;
        for (std::size_t b = 0; b < batches_; ++b) {
            go_on();
            const std::size_t from = start_[b], n = start_[b + 1] - from;
            std::size_t r = 0;
            for (std::size_t e = 0; e < n; ++e) {
                const std::size_t index = (std::size_t)get_bits(words, from + e, bits);
                while (r + 1 < runs.size() && runs[r + 1].first_index <= index) ++r;   // ascending within a batch
                key_of(runs[r].first + (index - runs[r].first_index), batch[e].k);
                batch[e].index = (std::uint32_t)index;
            }
            std::sort(batch, batch + n, before);
            for (std::size_t e = 0; e < n; ++e) {
                const std::size_t written = from + e;
                if (written % block == 0) names_before.push_back((std::uint32_t)names);
                if (written == 0 || std::memcmp(batch[e].k, last, sizeof last) != 0) ++names;
                std::memcpy(last, batch[e].k, sizeof last);
                put_bits(words, written, bits, batch[e].index);
            }
        }
        if (named_ % block == 0) names_before.push_back((std::uint32_t)names);
    }
};

namespace {

const std::atomic<bool> never_stopping{false};
std::atomic<std::size_t> builds{0};

} // namespace

name_index::name_index(const star_type* first) : name_index(first, never_stopping) {}

name_index::name_index(const star_type* first, const std::atomic<bool>& stopping, const step_hook& step_done)
{
    builds.fetch_add(1, std::memory_order_relaxed);
    builder(*this, first, stopping, step_done).build();
}

std::size_t name_index::builds_begun() { return builds.load(std::memory_order_relaxed); }

std::size_t name_index::bytes() const
{
    return runs_.capacity() * sizeof(run) + order_.size() + names_before_.capacity() * sizeof(std::uint32_t);
}

std::size_t name_index::names_up_to(std::size_t k) const
{
    std::size_t names = names_before_[k / block];
    key a, b;
    for (std::size_t j = k - k % block; j < k; ++j) {
        key_of(star(j), a);
        if (j == 0 || (key_of(star(j - 1), b), std::memcmp(a, b, sizeof a) != 0)) ++names;
    }
    return names;
}

std::size_t name_index::position(std::size_t k) const
{
    return (std::size_t)get_bits(reinterpret_cast<const std::uint64_t*>(order_.data()), k, bits_);
}

const star_type* name_index::record(std::size_t index) const
{
    const auto r = std::upper_bound(runs_.begin(), runs_.end(), index,
                                    [](std::size_t i, const run& x) { return i < x.first_index; }) - 1;
    return r->first + (index - r->first_index);
}

std::size_t name_index::search(const key& want, std::size_t from, std::size_t to, bool after) const
{
    while (from < to) {
        const std::size_t mid = from + (to - from) / 2;
        key k;
        key_of(star(mid), k);
        const int c = std::memcmp(k, want, sizeof k);
        if (c < 0 || (after && c == 0)) from = mid + 1;
        else to = mid;
    }
    return from;
}

name_match name_index::find(const std::string& text) const
{
    name_match m;
    const std::string want = search_form(text.c_str());
    if (want.empty()) return m;
    m.kind = name_match::none;
    if (want.size() > (std::size_t)key_size) return m;           // longer than any name

    key probe;
    std::memset(probe, 0, sizeof probe);
    std::memcpy(probe, want.data(), want.size());
    const std::size_t low = search(probe, 0, count_, false);     // the zero padding sorts first
    key k;
    if (low != count_ && key_of(star(low), k) && std::memcmp(k, probe, key_size) == 0) {
        m.kind = name_match::found;
        m.star = spelled_as_typed(probe, low, text);
        return m;
    }
    starting_with(want, low, m);
    return m;
}

const star_type* name_index::spelled_as_typed(const key& probe, std::size_t low, const std::string& text) const
{
    const std::size_t high = search(probe, low, count_, true);
    const std::string written = folded(text.c_str(), false);
    for (std::size_t e = low; e != high; ++e)                    // the spelling typed wins
        if (folded(star(e)->name, false) == written) return star(e);
    return star(low);
}

// Names that start with the text follow the probe; stepping from one name to
// the next by binary search skips over stars that share a name.
void name_index::starting_with(const std::string& want, std::size_t low, name_match& m) const
{
    std::vector<const star_type*> names;
    key k;
    for (std::size_t e = low; e != count_ && names.size() <= (std::size_t)listed;) {
        key_of(star(e), k);
        if (std::memcmp(k, want.data(), want.size()) != 0) break;
        names.push_back(star(e));
        e = search(k, e, count_, true);
    }
    if (names.empty()) return;
    if (names.size() == 1) {
        m.kind = name_match::found;
        m.star = names[0];
        return;
    }
    m.kind = name_match::several;
    if (names.size() > (std::size_t)listed) {                  // count the rest without visiting them
        key beyond;                                             // above every name that starts with the text
        std::memset(beyond, 0xff, sizeof beyond);
        std::memcpy(beyond, want.data(), want.size());
        const std::size_t high = search(beyond, low, count_, false);
        m.more = names_up_to(high) - names_up_to(low) - listed;
    }
    names.resize(std::min(names.size(), (std::size_t)listed));
    m.candidates = names;
}
