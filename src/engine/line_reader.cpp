// A stretch of input through a buffer that keeps the line being read, into
// records chained as they are filled.
#include "engine/line_reader.h"

#include "engine/lens.h"
#include "engine/sky.h"
#include "engine/stars.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace {

// Lines in [begin, end).
long long line_feeds(const char* begin, const char* end) { return std::count(begin, end, '\n'); }

bool only_space(const char* begin, const char* end)
{
    return std::all_of(begin, end, [](char c) { return is_space(c); });
}

// The bytes at hand of a stretch: the unread ones, [begin, filled), with the
// line being read among them, and where they stand in the input.
class line_buffer {
public:
    // Without memory for the buffer it is not ready(), and nothing is read.
    line_buffer(byte_source& source, long long start, progress_line* progress)
        : source_(source), progress_(progress), dropped_(start)
    {
        try {
            bytes_.reset(new char[capacity_]);
        } catch (const std::bad_alloc&) {
        }
    }
    bool ready() const { return bytes_ != nullptr; }

    cursor at() const { return cursor{bytes_.get() + begin_, bytes_.get() + filled_, last_}; }
    // The bytes before p are read.
    void consume_to(const char* p) { begin_ = (size_t)(p - bytes_.get()); }
    // Offset in the input of the first unread byte, and of the last byte at hand plus one.
    long long offset() const { return dropped_ + (long long)begin_; }
    long long reached() const { return dropped_ + (long long)filled_; }
    // Line feeds in the input before the first unread byte.
    long long lines_before() const { return dropped_lines_ + line_feeds(bytes_.get(), bytes_.get() + begin_); }
    const char* unread() const { return bytes_.get() + begin_; }
    const char* end() const { return bytes_.get() + filled_; }

    // Keeps the unread bytes and reads more behind them; a line that fills
    // the buffer doubles it (which may throw std::bad_alloc).
    void refill()
    {
        dropped_lines_ += line_feeds(bytes_.get(), bytes_.get() + begin_);
        dropped_ += begin_;
        std::memmove(bytes_.get(), bytes_.get() + begin_, filled_ - begin_);
        filled_ -= begin_;
        begin_ = 0;
        if (filled_ == capacity_) {                             // one line fills the buffer
            std::unique_ptr<char[]> larger(new char[capacity_ * 2]);
            std::memcpy(larger.get(), bytes_.get(), filled_);
            bytes_.swap(larger);
            capacity_ *= 2;
        }
        // At least as many new bytes as were kept, so that reading a long
        // line again from its start after each refill costs linear time
        // even when the source hands out a few bytes at a time.
        const size_t wanted = std::max<size_t>(filled_, 1);
        for (size_t got = 0, more = 0; more < wanted && filled_ < capacity_; more += got, filled_ += got)
            if ((got = source_.read(bytes_.get() + filled_, capacity_ - filled_)) == 0) {
                last_ = true;
                break;
            }
        if (progress_) progress_->update(source_.reach(reached()));
    }

    // Where `text`, among the bytes at hand, stands once more than `bytes`
    // bytes from it are at hand, or all there are.
    const char* keep_ahead(const char* text, size_t bytes)
    {
        size_t at = (size_t)(text - bytes_.get());
        while (!last_ && filled_ - at <= bytes) {
            at -= begin_;
            refill();
        }
        return bytes_.get() + at;
    }

private:
    byte_source& source_;
    progress_line* progress_;
    size_t capacity_ = 64 << 10;                                // grows for a line that fills it
    std::unique_ptr<char[]> bytes_;
    size_t begin_ = 0, filled_ = 0;
    bool last_ = false;                                         // the source has ended
    long long dropped_, dropped_lines_ = 0;                     // offset of the buffer, line feeds before it
};

// The records a stretch fills, chained from head to tail in `r`: the
// caller's record first, when there is one.
class record_chain {
public:
    record_chain(lines_read& r, star_type* fill) : r_(r), fill_(fill) {}
    // A record for the next star; null, with the reading marked as ended,
    // where memory runs out.
    star_type* next_record()
    {
        try {
            return r_.count == 0 && fill_ ? fill_ : new star_type;
        } catch (const std::bad_alloc&) {
            r_.ended = r_.out_of_memory = true;
            return nullptr;
        }
    }
    void append(star_type* s)
    {
        if (r_.tail) r_.tail->next = s;
        else r_.head = s;
        r_.tail = s;
        ++r_.count;
    }

private:
    lines_read& r_;
    star_type* fill_;
};

// A refill that may need a larger buffer: where memory runs out the reading
// ends there, keeping what came before.
bool refilled(line_buffer& in, lines_read& r)
{
    try {
        in.refill();
        return true;
    } catch (const std::bad_alloc&) {
        r.ended = r.out_of_memory = true;
        return false;
    }
}

// One catalog line's star into the next record; false when there is no
// memory for it.
bool add_star(record_chain& chain, const line_values& v)
{
    const float alpha = AZ_RAD(v.ra_hours, v.ra_minutes, v.ra_seconds);
    const float delta = ALT_RAD(v.dec_degrees, v.dec_minutes, v.dec_seconds);
    star_type* const s = chain.next_record();
    if (!s) return false;                                       // the stars before it are kept
    s->star_set(v.name, absolute_magnitude(v.magnitude, v.distance),
                catalog_position((double)v.distance, (double)alpha, (double)delta), v.class_word);
    chain.append(s);
    return true;
}

// The tab-separated catalog: a line read whole, then the rest of it skipped,
// and so on; blank lines are passed over. `kept` is the last line read whole.
void read_catalog_lines(line_buffer& in, record_chain& chain, lines_read& r, long long stop_at, line_values& kept)
{
    line_values v{};
    bool line_start = true;
    for (;;) {
        if (line_start && in.offset() >= stop_at) break;       // the next stretch's line
        cursor c = in.at();
        if (line_start) {
            const outcome blank = skip_blank_line(c);
            if (blank == outcome::more) {
                if (!refilled(in, r)) break;
                continue;
            }
            if (blank == outcome::done) {
                in.consume_to(c.p);
                continue;
            }
        }
        const outcome got = line_start ? read_line(c, v, r.why) : skip_rest(c);
        if (got == outcome::more) {
            if (!refilled(in, r)) break;
            continue;
        }
        if (got == outcome::failed || got == outcome::line_ended) {
            r.ended = true;
            r.why.line_ended = got == outcome::line_ended;
            break;
        }
        in.consume_to(c.p);
        line_start = !line_start;                               // a line read, then its rest skipped
        if (line_start) continue;
        if (!add_star(chain, v)) break;
        kept = v;
    }
}

// A table: one row a line, never more; a row that gives no star, one that
// cannot be read among them, is counted and the next one read. Only the
// distance of `kept` tells, that of the last row that gave a star.
void read_table_rows(line_buffer& in, record_chain& chain, lines_read& r, long long stop_at,
                     const table_layout& table, long long first_row, line_values& kept)
{
    for (;;) {
        if (in.offset() >= stop_at) break;                     // the next stretch's line
        const cursor c = in.at();
        const char* feed = static_cast<const char*>(std::memchr(c.p, '\n', (size_t)(c.end - c.p)));
        if (!feed && !c.last) {
            if (!refilled(in, r)) break;
            continue;
        }
        if (!feed && c.p == c.end) {                            // the end
            r.ended = true;
            break;
        }
        table_star t;
        skip_reason why = unreadable;
        row_problem problem;
        const row_outcome got = read_table_row(table, c.p, feed ? feed : c.end, first_row ? first_row + r.rows : 0,
                                               t, why, problem);
        if (got == row_outcome::failed || got == row_outcome::skipped) {
            if (got == row_outcome::failed) why = unreadable;
            // Only a row to be named needs its line: counting the line feeds
            // of every skipped row would read the buffer again each time.
            r.skipped.add(why, r.skipped.names_next(why) ? in.lines_before() : 0, problem);
        }
        in.consume_to(feed ? feed + 1 : c.end);
        if (got == row_outcome::blank) continue;
        ++r.rows;
        if (got != row_outcome::star) continue;
        star_type* const s = chain.next_record();
        if (!s) break;                                          // the stars before it are kept
        s->star_set(t.name, t.abs_magnitude, t.position, t.class_word);
        if (t.named_by_row) r.by_row.emplace_back(s, r.rows);
        chain.append(s);
        kept.distance = t.distance;                             // for the closing line
    }
}

// Where the stretch stopped, and why, once its loop has ended.
void finish_stretch(line_buffer& in, const byte_source& source, lines_read& r)
{
    if (r.ended && !r.out_of_memory && r.why.text)             // enough of the column at hand to quote it
        r.why.text = in.keep_ahead(r.why.text, 24);
    r.stop = in.offset();
    r.line_feeds = in.lines_before();
    r.bytes_seen = in.reached();
    r.error = source.error;
    r.damage = source.damage();
    if (!r.damage.empty()) r.ended = true;
    if (r.out_of_memory) {
        r.quiet = false;
    } else if (r.ended) {
        r.quiet = !r.why.line_ended && r.why.text == nullptr && r.damage.empty() &&
                  only_space(in.unread(), in.end());
        if (r.why.text) r.text = column_quoted(r.why.text, in.end());
    }
}

} // namespace

lines_read read_lines(byte_source& source, long long start, long long stop_at, star_type* fill,
                      progress_line* progress, const table_layout* table, long long first_row)
{
    lines_read r;
    r.start = start;
    line_buffer in(source, start, progress);
    if (!in.ready()) {
        r.ended = r.out_of_memory = true;
        r.quiet = false;
        return r;
    }
    record_chain chain(r, fill);
    line_values kept{};
    if (table) read_table_rows(in, chain, r, stop_at, *table, first_row, kept);
    else read_catalog_lines(in, chain, r, stop_at, kept);
    r.last = kept;
    finish_stretch(in, source, r);
    return r;
}
