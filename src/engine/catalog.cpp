#include "engine/catalog.h"

#include "engine/catalog_formats.h"
#include "engine/gzip_reader.h"
#include "base/text.h"
#include "engine/stars.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <locale.h>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

float AZ_RAD(float hours, float minutes, float seconds)
{
    const double h = (double)hours, m = (double)minutes, s = (double)seconds;        // summed in double
    double v = hours >= 0 ? (h + m / 60.0) + s / 3600.0
                          : (h - m / 60.0) - s / 3600.0;
    return (float)(v * 0.2617993877991494);                     // pi / 12
}

float ALT_RAD(float degrees, float arcminutes, float arcseconds)
{
    const double d = (double)degrees, m = (double)arcminutes, s = (double)arcseconds;  // summed in double
    double v = !std::signbit(degrees) ? (d + m / 60.0) + s / 3600.0
                                      : (d - m / 60.0) - s / 3600.0;
    return (float)(v * 0.017453292519943295);                   // pi / 180
}

float absolute_magnitude(float apparent, float distance)
{
    static const double log_ratio = std::log(magnitude_ratio);
    return (float)((double)apparent - 2.0 * std::log((double)distance / reference_distance) / log_ratio);
}

vector catalog_position(double distance, double alpha, double delta)
{
    const float z = (float)(distance * std::sin(delta));
    const float planar = (float)(distance * std::cos(delta));  // in the equator's plane
    const float x = (float)((double)planar * std::cos(alpha));
    const float y = (float)((double)planar * std::sin(alpha));
    return vector(x, y, z);
}

// The reader below works on bytes in memory, but reproduces formatted stream
// extraction exactly, operation by operation, as the catalog format was first
// read: getline of 25 into the name, ignore of 100 up to a tab between
// columns, >> into floats and a 16-byte word, ignore of 200 up to the line
// feed after the last column. Where those operations would run into the end
// of the input, the reader stops; when more input may follow, it asks for it
// and reads the line again from its start, so lines may cross buffer refills.
// Unlike the stream, no read goes past a line feed: a record never takes
// values from the line after its own, and a line that ends before its last
// column stops the load as a bad number does.
namespace {

// What one catalog line supplies.
struct line_values {
    star_name name;
    char class_word[16];
    float magnitude, distance;
    float ra_hours, ra_minutes, ra_seconds;
    float dec_degrees, dec_minutes, dec_seconds;
};

// The columns by their meaning, for the explanations.
enum column_id { name_column, magnitude_column, distance_column, class_column, ra_column, dec_column };
const char* const column_names[] = {"name", "magnitude", "distance", "class", "right ascension", "declination"};

enum class outcome { done, failed, more, line_ended };         // more: the line needs more input

// Why a line failed: the column being read, and the text that is not a
// number (null when the input ended inside the line).
struct failure {
    column_id column = name_column;
    const char* text = nullptr;
    bool too_large = false;
    bool line_ended = false;                                   // the line ended before its last column
};

// The bytes at hand: [p, end), and whether end is the end of the input.
struct cursor {
    const char* p;
    const char* end;
    bool last;

    outcome ran_out() const { return last ? outcome::failed : outcome::more; }
};

// The stream's white space in the classic locale.
inline bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// ignore(limit, '\t'): up to `limit` characters, through the first tab among
// them. Running into the end of the input fails the line (every later read
// would), and so does the line's own end.
inline outcome skip_column(cursor& c, std::ptrdiff_t limit = 100)
{
    const bool room = c.end - c.p >= limit;
    const char* stop = room ? c.p + limit : c.end;
    for (const char* q = c.p; q < stop; ++q) {
        if (*q == '\n') return outcome::line_ended;
        if (*q == '\t') {
            c.p = q + 1;
            return outcome::done;
        }
    }
    if (!room) return c.ran_out();
    c.p = stop;                                                 // limit reached: no tab needed
    return outcome::done;
}

// getline(name, 25, '\t') with a long name's rest skipped up to its tab.
inline outcome read_name(cursor& c, star_name& name)
{
    const char* p = c.p;
    std::size_t n = 0;
    while (n < star_name_length && p < c.end && *p != '\t' && *p != '\n') name[n++] = *p++;
    while (p < c.end && *p != '\t' && *p != '\n') ++p;        // the name kept; the rest goes
    if (p == c.end) return c.ran_out();
    if (*p == '\n') return outcome::line_ended;                 // a line of text without tabs
    name[n] = '\0';
    c.p = p + 1;
    return outcome::done;
}

// >> into the class-word buffer (15 characters at most), then the rest of a
// longer word.
inline outcome read_word(cursor& c, char (&word)[16])
{
    const char* p = c.p;
    while (p < c.end && is_space(*p) && *p != '\n') ++p;
    if (p < c.end && *p == '\n') return outcome::line_ended;
    int n = 0;
    while (n < 15 && p < c.end && !is_space(*p)) word[n++] = *p++;
    while (p < c.end && !is_space(*p)) ++p;
    if (p == c.end) return c.ran_out();                         // every way to the end fails the line
    word[n] = '\0';
    c.p = p;
    return outcome::done;
}

const double powers_of_ten[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The text of a number as the standard library converts it: strtof in the C
// locale, whatever the program's locale is.
float convert_text(const char* begin, const char* end)
{
    static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    char small[64];
    std::string large;
    const size_t n = end - begin;
    char* text = small;
    if (n < sizeof small) {
        std::memcpy(small, begin, n);
        small[n] = '\0';
    } else {
        large.assign(begin, end);
        text = &large[0];
    }
    return strtof_l(text, nullptr, c_locale);
}

// The float nearest to digits * 10^scale, when that is quick to find exactly:
// up to 15 digits times a power of ten of at most 22 is one correctly rounded
// double operation on exact operands, and rounding that double to float gives
// the float nearest the text unless the double lies exactly halfway between
// two floats. Returns false when it cannot tell.
inline bool nearest_float(std::uint64_t digits, int significant, int scale, float& out)
{
    if (significant > 15 || scale < -22 || scale > 22) return false;
    const double d = scale < 0 ? digits / powers_of_ten[-scale] : digits * powers_of_ten[scale];
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof d);
    if ((bits & 0x1fffffff) == 0x10000000) return false;        // halfway: 29 dropped bits 100...0
    out = (float)d;
    return true;
}

// >> into a float: white space skipped, then an optional sign, digits with at
// most one decimal point, and after at least one digit an exponent mark with
// an optional sign and digits. The text so gathered must be a whole number
// that fits a float; "1e", ".", "-" fail, and so do nan, inf and 1e39.
// Underflow is no failure: 1e-50 reads as 0.
inline outcome read_number(cursor& c, float& out, failure& why)
{
    const char* p = c.p;
    const char* const end = c.end;
    while (p < end && is_space(*p) && *p != '\n') ++p;
    if (p == end) return c.ran_out();
    if (*p == '\n') return outcome::line_ended;
    const char* const start = p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    std::uint64_t digits = 0;                                   // the first 19 significant digits
    int significant = 0, after_point = 0, exponent = 0;
    bool any_digit = false, point = false, exponent_mark = false, exponent_digit = false;
    bool exponent_negative = false;
    for (; p < end; ++p) {
        const char ch = *p;
        if (ch >= '0' && ch <= '9') {
            any_digit = true;
            after_point += point;
            if (digits == 0 && ch == '0') continue;             // leading zeros count for nothing
            if (significant < 19) digits = digits * 10 + (ch - '0');
            ++significant;
        } else if (ch == '.' && !point) {
            point = true;
        } else if ((ch == 'e' || ch == 'E') && any_digit) {
            exponent_mark = true;
            ++p;
            if (p < end && (*p == '+' || *p == '-')) exponent_negative = *p++ == '-';
            for (; p < end && *p >= '0' && *p <= '9'; ++p) {
                exponent_digit = true;
                if (exponent < 100000) exponent = exponent * 10 + (*p - '0');
            }
            break;
        } else {
            break;
        }
    }
    if (p == end && !c.last) return outcome::more;              // the number may go on
    if (!any_digit || (exponent_mark && !exponent_digit)) {
        why.text = start;
        return outcome::failed;
    }
    float value;
    if (nearest_float(digits, significant, (exponent_negative ? -exponent : exponent) - after_point, value)) {
        if (negative) value = -value;
    } else {
        value = convert_text(start, p);                         // the sign included
        if (std::isinf(value)) {
            why.text = start;
            why.too_large = true;
            return outcome::failed;
        }
    }
    out = value;
    c.p = p;
    return outcome::done;
}

// Reads the next line into `out`. Returns failed, leaving `out` as it was,
// when the input ends inside the line or a number column does not start with
// a number; `why` then tells where. The caller skips the rest of the line.
outcome read_line(cursor& c, line_values& out, failure& why)
{
    line_values v = out;                                        // fill a copy, commit at the end
    outcome step;
    // Each step names the column it belongs to before it runs, so a failure
    // is reported against the column that was being read or sought.
#define STEP(which, call) \
    if (why.column = which, (step = (call)) != outcome::done) return step
    STEP(name_column,      read_name(c, v.name));
    STEP(magnitude_column, skip_column(c));                     // column 2
    STEP(magnitude_column, read_number(c, v.magnitude, why));
    STEP(distance_column,  skip_column(c));
    STEP(distance_column,  skip_column(c));                     // column 4
    STEP(distance_column,  read_number(c, v.distance, why));
    STEP(class_column,     skip_column(c));
    STEP(class_column,     skip_column(c));                     // column 6
    STEP(class_column,     read_word(c, v.class_word));
    STEP(ra_column,        skip_column(c));
    STEP(ra_column,        skip_column(c));                     // column 8
    STEP(ra_column,        read_number(c, v.ra_hours, why));
    STEP(ra_column,        read_number(c, v.ra_minutes, why));
    STEP(ra_column,        read_number(c, v.ra_seconds, why));
    STEP(dec_column,       skip_column(c));
    STEP(dec_column,       skip_column(c));                     // column 10
    STEP(dec_column,       read_number(c, v.dec_degrees, why));
    STEP(dec_column,       read_number(c, v.dec_minutes, why));
    STEP(dec_column,       read_number(c, v.dec_seconds, why));
#undef STEP
    out = v;
    return outcome::done;
}

// A line of nothing but spaces, tabs and carriage returns is passed over.
// Returns done when one was, more when the input ends inside such a stretch
// and more may follow, and failed when the line holds something to read (or
// the input ends in white space, which the line read then fails on quietly).
outcome skip_blank_line(cursor& c)
{
    const char* p = c.p;
    while (p < c.end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
    if (p == c.end) return c.last ? outcome::failed : outcome::more;
    if (*p != '\n') return outcome::failed;
    c.p = p + 1;
    return outcome::done;
}

// ignore(200, '\n'): the rest of the line and its line feed.
outcome skip_rest(cursor& c)
{
    const bool room = c.end - c.p >= 200;
    const char* stop = room ? c.p + 200 : c.end;
    const char* q = static_cast<const char*>(std::memchr(c.p, '\n', stop - c.p));
    if (q) c.p = q + 1;
    else if (room || c.last) c.p = stop;
    else return outcome::more;
    return outcome::done;
}

// Where the bytes come from: a file descriptor or a stream.
class byte_source {
public:
    virtual ~byte_source() = default;
    // Up to n bytes into `into`; 0 at the end or after an error.
    virtual size_t read(char* into, size_t n) = 0;
    // Why the bytes ended before the input's proper end, when they did.
    virtual std::string damage() const { return std::string(); }
    // How far into the input `decoded` bytes handed out reach, for the progress.
    virtual long long reach(long long decoded) const { return decoded; }
    int error = 0;                                              // errno of a failed read
};

// A file read from where it stands, or from `offset` on without moving it
// (so that several readers can share one descriptor).
class file_source : public byte_source {
public:
    explicit file_source(int fd, long long offset = -1) : fd_(fd), offset_(offset) {}
    size_t read(char* into, size_t n) override
    {
        for (;;) {
            const ssize_t got = offset_ < 0 ? ::read(fd_, into, n) : ::pread(fd_, into, n, offset_);
            if (got >= 0) {
                if (offset_ >= 0) offset_ += got;
                return (size_t)got;
            }
            if (errno == EINTR) continue;
            error = errno;
            return 0;
        }
    }

private:
    int fd_;
    long long offset_;
};

class stream_source : public byte_source {
public:
    explicit stream_source(std::istream& in) : in_(in) {}
    // What the stream has at hand, as a read of a pipe would return it.
    size_t read(char* into, size_t n) override
    {
        if (in_.peek() == std::char_traits<char>::eof()) return 0;
        return (size_t)in_.readsome(into, (std::streamsize)n);
    }

private:
    std::istream& in_;
};

// Bytes read ahead to tell the format, handed out again before the rest.
class replay_source : public byte_source {
public:
    replay_source(std::string head, byte_source& rest) : head_(std::move(head)), rest_(rest) {}
    size_t read(char* into, size_t n) override
    {
        if (at_ < head_.size()) {
            const size_t k = std::min(n, head_.size() - at_);
            std::memcpy(into, head_.data() + at_, k);
            at_ += k;
            return k;
        }
        const size_t got = rest_.read(into, n);
        error = rest_.error;
        return got;
    }
    std::string damage() const override { return rest_.damage(); }
    long long reach(long long decoded) const override { return rest_.reach(decoded); }

private:
    std::string head_;
    size_t at_ = 0;
    byte_source& rest_;
};

// A gzip stream's bytes decompressed.
class gzip_source : public byte_source {
public:
    // The raw bytes are read on the decompressing thread; a read error is
    // taken over once the decompressed bytes have ended.
    explicit gzip_source(byte_source& raw)
        : raw_(raw), gzip_([this](char* into, size_t n) {
              const size_t got = raw_.read(into, n);
              raw_error_ = raw_.error;
              return got;
          })
    {
    }
    size_t read(char* into, size_t n) override
    {
        const size_t got = gzip_.read(into, n);
        if (got == 0) error = raw_error_;
        return got;
    }
    std::string damage() const override { return error ? std::string() : gzip_.damage(); }
    long long reach(long long) const override { return gzip_.compressed_bytes(); }

private:
    byte_source& raw_;
    std::atomic<int> raw_error_{0};
    gzip_reader gzip_;
};

// Percent of the input read, on one line of its own that is rewritten in
// place; it appears only once the load has taken a while.
class progress_line {
public:
    explicit progress_line(const load_notes& notes)
        : notes_(notes), started_(std::chrono::steady_clock::now()) {}

    void update(long long done)
    {
        if (!notes_.progress || notes_.input_size <= 0) return;
        if (!shown_) {
            const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started_;
            if (waited.count() < notes_.progress_after) return;
            shown_ = true;
        }
        const int percent = (int)(std::min(done, notes_.input_size) * 100 / notes_.input_size);
        if (percent <= last_percent_) return;                   // only ever forward
        last_percent_ = percent;
        *notes_.progress << '\r' << notes_.source_name << ": " << percent << "% read" << std::flush;
    }

    // Ends the progress line, if one was shown, so that what follows starts on
    // a line of its own.
    void finish()
    {
        if (!shown_) {                                          // a load that outlasted the wait shows its end
            const std::chrono::duration<double> waited = std::chrono::steady_clock::now() - started_;
            if (!notes_.progress || notes_.input_size <= 0 || waited.count() < notes_.progress_after) return;
            shown_ = true;
        }
        if (last_percent_ != 100) *notes_.progress << '\r' << notes_.source_name << ": 100% read";
        *notes_.progress << '\n' << std::flush;
    }

private:
    const load_notes& notes_;
    std::chrono::steady_clock::time_point started_;
    bool shown_ = false;
    int last_percent_ = -1;
};

// What stood in a column, on one line and shortened for a message.
std::string column_quoted(const char* text, const char* end)
{
    const char* stop = text;
    while (stop < end && *stop != '\t' && *stop != '\n' && *stop != '\r') ++stop;
    return quoted(std::string(text, stop));
}

std::string stars_loaded(int count)
{
    return std::to_string(count) + (count == 1 ? " star loaded" : " stars loaded");
}

// Lines in [begin, end).
long long line_feeds(const char* begin, const char* end) { return std::count(begin, end, '\n'); }

bool only_space(const char* begin, const char* end)
{
    return std::all_of(begin, end, [](char c) { return is_space(c); });
}

// What reading a stretch of the input gave: its records, chained from head
// to tail, and where and why the reading stopped.
struct lines_read {
    star_type* head = nullptr;
    star_type* tail = nullptr;
    int count = 0;
    line_values last{};                                         // the last line read whole, if any
    long long start = 0;                                        // offset of its first line
    long long stop = 0;                                         // offset of the line it stopped before
    long long line_feeds = 0;                                   // in [start, stop)
    long long bytes_seen = 0;                                   // offset of the last byte read, plus one
    bool ended = false;                                         // stopped by a line it could not read whole
    bool out_of_memory = false;                                 // or by a record memory could not be found for
    bool quiet = true;                                          // ended where only white space was left
    failure why;                                                // and why, when not quiet
    std::string text;                                           // the column's text, quoted, when a number failed
    std::string problem;                                        // why a table's row could not be read
    std::string damage;                                         // why the bytes ended early
    long long skipped[skip_reasons] = {};                       // a table's rows that gave no star
    long long rows = 0;                                         // a table's data rows read
    std::vector<std::pair<star_type*, long long>> by_row;       // records to be named by their row's number
    int error = 0;                                              // errno of a failed read
};

// Reads lines from `source`, which starts at offset `start`, until a line
// would start at or after `stop_at` or a line cannot be read whole. The first
// line read fills `fill` when that is given; every other is a new record.
// A table's rows are read in its own way when `table` is given; `first_row`
// is then the number of the first data row, 0 when it is not known.
lines_read read_lines(byte_source& source, long long start, long long stop_at, star_type* fill,
                      progress_line* progress, const table_layout* table = nullptr, long long first_row = 0)
{
    lines_read r;
    r.start = start;
    line_values v{}, kept{};

    size_t capacity = 64 << 10;                                 // grows for a line that fills it
    std::unique_ptr<char[]> buffer;
    try {
        buffer.reset(new char[capacity]);
    } catch (const std::bad_alloc&) {
        r.ended = r.out_of_memory = true;
        r.quiet = false;
        return r;
    }
    size_t begin = 0, filled = 0;                               // unread bytes: [begin, filled)
    bool last = false;
    long long dropped = start, dropped_lines = 0;               // offset of the buffer, line feeds before it

    // Keeps the unread bytes and reads more behind them.
    auto refill = [&] {
        dropped_lines += line_feeds(buffer.get(), buffer.get() + begin);
        dropped += begin;
        std::memmove(buffer.get(), buffer.get() + begin, filled - begin);
        filled -= begin;
        begin = 0;
        if (filled == capacity) {                               // one line fills the buffer
            std::unique_ptr<char[]> larger(new char[capacity * 2]);
            std::memcpy(larger.get(), buffer.get(), filled);
            buffer.swap(larger);
            capacity *= 2;
        }
        // At least as many new bytes as were kept, so that reading a long
        // line again from its start after each refill costs linear time
        // even when the source hands out a few bytes at a time.
        const size_t wanted = std::max<size_t>(filled, 1);
        for (size_t got = 0, more = 0; more < wanted && filled < capacity; more += got, filled += got)
            if ((got = source.read(buffer.get() + filled, capacity - filled)) == 0) {
                last = true;
                break;
            }
        if (progress) progress->update(source.reach(dropped + (long long)filled));
    };

    // A refill that may need a larger buffer, and a record for the next star:
    // where memory runs out the load ends there, keeping what came before.
    auto refilled = [&] {
        try {
            refill();
            return true;
        } catch (const std::bad_alloc&) {
            r.ended = r.out_of_memory = true;
            return false;
        }
    };
    auto next_record = [&]() -> star_type* {
        try {
            return r.count == 0 && fill ? fill : new star_type;
        } catch (const std::bad_alloc&) {
            r.ended = r.out_of_memory = true;
            return nullptr;
        }
    };
    auto append = [&](star_type* s) {
        if (r.tail) r.tail->next = s;
        else r.head = s;
        r.tail = s;
        ++r.count;
    };

    bool line_start = true;
    long long rows = 0;                                         // a table's data rows so far
    for (;;) {
        if (line_start && dropped + (long long)begin >= stop_at) break;   // the next stretch's line
        cursor c{buffer.get() + begin, buffer.get() + filled, last};
        if (table) {                                            // one row a line, never more
            const char* feed = static_cast<const char*>(std::memchr(c.p, '\n', (size_t)(c.end - c.p)));
            if (!feed && !last) {
                if (!refilled()) break;
                continue;
            }
            if (!feed && c.p == c.end) {                        // the end
                r.ended = true;
                break;
            }
            table_star t;
            skip_reason why;
            const row_outcome got = read_table_row(*table, c.p, feed ? feed : c.end,
                                                   first_row ? first_row + rows : 0, t, why, r.problem);
            if (got == row_outcome::failed) {
                r.ended = true;
                break;
            }
            begin = (feed ? feed + 1 : c.end) - buffer.get();
            if (got == row_outcome::blank) continue;
            ++rows;
            if (got == row_outcome::skipped) {
                ++r.skipped[why];
                continue;
            }
            star_type* const s = next_record();
            if (!s) break;                                       // the stars before it are kept
            v.distance = t.distance;                            // for the closing line
            s->star_set(t.name, t.abs_magnitude, t.position, t.class_word);
            if (t.named_by_row) r.by_row.emplace_back(s, rows);
            append(s);
            kept = v;
            continue;
        }
        if (line_start) {
            const outcome blank = skip_blank_line(c);
            if (blank == outcome::more) {
                if (!refilled()) break;
                continue;
            }
            if (blank == outcome::done) {
                begin = c.p - buffer.get();
                continue;
            }
        }
        const outcome got = line_start ? read_line(c, v, r.why) : skip_rest(c);
        if (got == outcome::more) {
            if (!refilled()) break;
            continue;
        }
        if (got == outcome::failed || got == outcome::line_ended) {
            r.ended = true;
            r.why.line_ended = got == outcome::line_ended;
            break;
        }
        begin = c.p - buffer.get();
        if (!line_start) {
            line_start = true;
            continue;
        }
        line_start = false;
        const float alpha = AZ_RAD(v.ra_hours, v.ra_minutes, v.ra_seconds);
        const float delta = ALT_RAD(v.dec_degrees, v.dec_minutes, v.dec_seconds);
        star_type* const s = next_record();
        if (!s) break;                                       // the stars before it are kept
        s->star_set(v.name, absolute_magnitude(v.magnitude, v.distance),
                    catalog_position((double)v.distance, (double)alpha, (double)delta), v.class_word);
        append(s);
        kept = v;
    }

    if (r.ended && !r.out_of_memory && r.why.text) {                                // enough of the column at hand to quote it
        size_t at = r.why.text - buffer.get();
        while (!last && filled - at <= 24) {
            at -= begin;
            refill();
        }
        r.why.text = buffer.get() + at;
    }
    const char* const here = buffer.get() + begin;
    const char* const end = buffer.get() + filled;
    r.last = kept;
    r.stop = dropped + (long long)begin;
    r.line_feeds = dropped_lines + line_feeds(buffer.get(), here);
    r.bytes_seen = dropped + (long long)filled;
    r.error = source.error;
    r.damage = source.damage();
    r.rows = rows;
    if (!r.damage.empty()) r.ended = true;
    if (r.out_of_memory) {
        r.quiet = false;
    } else if (r.ended) {
        r.quiet = !r.why.line_ended && r.why.text == nullptr && r.problem.empty() && r.damage.empty() &&
                  only_space(here, end);
        if (r.why.text) r.text = column_quoted(r.why.text, end);
    }
    return r;
}

// Says on standard error why the load ended early, if it did, and writes the
// closing line. `ending` is the stretch the load ended in, `line` the number
// of the line it ended at, `skipped` the rows of a table that gave no star.
void close_load(const lines_read& ending, long long line, int count, star_type* last_record,
                const line_values& last, const long long* skipped, std::ostream& report, const load_notes& notes)
{
    const std::string source_name = printable(notes.source_name);
    if (notes.errors && ending.out_of_memory)
        *notes.errors << source_name << ": not enough memory for more than " << count
                      << " stars; the rest of the file was not read\n";
    else if (notes.errors && ending.error)
        *notes.errors << source_name << ": " << (ending.bytes_seen == 0 ? "cannot read" : "read error")
                      << ": " << std::strerror(ending.error) << '\n';
    else if (notes.errors && ending.ended && !ending.quiet) {
        std::ostream& e = *notes.errors;
        e << source_name << ':' << line << ": ";
        if (!ending.damage.empty())
            e << ending.damage << "; " << stars_loaded(count) << ", the rest of the file cannot be read\n";
        else if (!ending.problem.empty())
            e << ending.problem << "; " << stars_loaded(count) << ", the rest of the file skipped\n";
        else if (ending.why.line_ended)
            e << "the line ends before its last column, in its " << column_names[ending.why.column] << " column; "
              << stars_loaded(count) << ", the rest of the file skipped\n";
        else if (!ending.why.text)
            e << "the file ends inside the line, at its " << column_names[ending.why.column] << " column; "
              << stars_loaded(count) << '\n';
        else
            e << column_names[ending.why.column] << " column holds " << ending.text
              << (ending.why.too_large ? ", a number too large" : ", not a number") << "; " << stars_loaded(count)
              << ", the rest of the file skipped\n";
    }
    for (int k = 0; notes.errors && k < skip_reasons; ++k)
        if (skipped[k])
            *notes.errors << source_name << ": " << with_thousands(skipped[k]) << (skipped[k] == 1 ? " row " : " rows ")
                          << skip_reason_text[k] << " skipped\n";
    if (notes.errors) notes.errors->flush();
    report << "Fail after reading " << last_record->name << " at Distance " << last.distance << std::endl;
}

// The most read ahead to find a table's header line; ECSV metadata before it
// runs to a few kilobytes a column.
const size_t header_reach = 4 << 20;

// Reads from `source` until `head` holds at least `want` bytes or the source
// ends; returns whether it ended.
bool read_ahead(byte_source& source, std::string& head, size_t want)
{
    while (head.size() < want) {
        const size_t had = head.size();
        head.resize(std::max(want, had + (64 << 10)));
        const size_t got = source.read(&head[had], head.size() - had);
        head.resize(had + got);
        if (got == 0) return true;
    }
    return false;
}

// A table's header, looked for in the bytes of `head`, reading more from
// `source` as needed (and as far as header_reach).
recognition find_header(byte_source& source, std::string& head, bool& ended, table_layout& layout,
                        size_t& data_start, long long& lines_before)
{
    for (;;) {
        const recognition r = recognise_table(head.data(), head.data() + head.size(), ended, layout, data_start,
                                              lines_before);
        if (r != recognition::more) return r;
        if (head.size() >= header_reach) return recognition::not_table;
        ended = read_ahead(source, head, std::min(header_reach, std::max<size_t>(head.size() * 2, 64 << 10)));
    }
}

// Reads the input from its start, one line after another, whichever of the
// formats it holds.
int load(byte_source& raw, star_type* first, std::ostream& report, const load_notes& notes)
{
    progress_line progress(notes);
    std::string head;
    bool ended = read_ahead(raw, head, 2);
    std::unique_ptr<replay_source> replayed_raw;
    std::unique_ptr<gzip_source> gzip;
    byte_source* source = &raw;
    if (starts_gzip(head.data(), head.size())) {                // decompressed as it is read
        replayed_raw.reset(new replay_source(std::move(head), raw));
        gzip.reset(new gzip_source(*replayed_raw));
        source = gzip.get();
        head.clear();
        ended = read_ahead(*source, head, 1);
    }
    table_layout layout;
    size_t data_start = 0;
    long long lines_before = 0;
    const bool table = find_header(*source, head, ended, layout, data_start, lines_before) == recognition::table;
    if (!table) data_start = 0, lines_before = 0;
    replay_source rest(head.substr(data_start), *source);
    const lines_read r = read_lines(rest, (long long)data_start, LLONG_MAX, first, &progress,
                                    table ? &layout : nullptr, 1);
    progress.finish();
    close_load(r, lines_before + r.line_feeds + 1, r.count, r.count ? r.tail : first, r.last, r.skipped, report,
               notes);
    return r.count;
}

// The offset of the first line that starts at or after `cut` (> 0): just
// past the first line feed from cut - 1 on, or the end of the file.
long long line_start_at(int fd, long long cut)
{
    char block[4096];
    for (long long at = cut - 1;;) {
        const ssize_t got = ::pread(fd, block, sizeof block, at);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return at;                                // the end, or an error the reader will meet
        if (const void* feed = std::memchr(block, '\n', (size_t)got))
            return at + (static_cast<const char*>(feed) - block) + 1;
        at += got;
    }
}

// A regular file, read by several threads at once. The file is cut into
// pieces; each thread takes the next piece, starts at the first line that
// begins in it, as if the lines before ran as they look, and reads up to the
// first line of the next piece. Then the pieces are joined in order, and a
// piece counts only where reading the one before truly stopped at its first
// line: where it did not (a line running over its line feed, as a long rest
// of a line or a column skip can), the file is read on from the true place,
// one line after another. So the records, the count, the closing line and the
// explanation are those of reading the file from its start. A table's rows
// start at `data_start`, after `header_lines` lines; each row is one line.
int load_in_pieces(int fd, long long size, star_type* first, std::ostream& report, const load_notes& notes,
                   const table_layout* table, long long data_start, long long header_lines)
{
    const long long piece = std::max<long long>(notes.piece_bytes, 1);
    const long long data = size - data_start;
    const std::size_t pieces = (std::size_t)std::max<long long>((data + piece - 1) / piece, 1);
    unsigned threads = notes.threads ? notes.threads : std::max(1u, std::thread::hardware_concurrency());
    threads = (unsigned)std::min<std::size_t>(threads, pieces);

    std::vector<lines_read> read(pieces);
    std::unique_ptr<std::atomic<bool>[]> taken(new std::atomic<bool>[pieces]);
    for (std::size_t k = 0; k < pieces; ++k) taken[k] = false;
    std::atomic<std::size_t> next{0}, first_ended{pieces};
    std::atomic<long long> bytes_done{0};
    progress_line progress(notes);

    // Takes pieces until none are left, or none after one that ended the
    // load can count.
    auto work = [&](bool main_thread) {
        for (std::size_t k; (k = next++) < pieces && k <= first_ended;) {
            const long long start = k == 0 ? data_start : line_start_at(fd, data_start + (long long)(data * k / pieces));
            const long long stop =
                k + 1 == pieces ? LLONG_MAX : line_start_at(fd, data_start + (long long)(data * (k + 1) / pieces));
            file_source source(fd, start);
            read[k] = read_lines(source, start, stop, k == 0 ? first : nullptr, nullptr, table);
            taken[k] = true;
            if (read[k].ended)
                for (std::size_t e = first_ended; k < e && !first_ended.compare_exchange_weak(e, k);) {}
            bytes_done += read[k].stop - start;
            if (main_thread) progress.update(bytes_done);
        }
    };
    std::vector<std::thread> helpers;
    std::vector<std::exception_ptr> trouble(threads);
    for (unsigned t = 1; t < threads; ++t) {
        try {
            helpers.emplace_back([&, t] {
                try {
                    work(false);
                } catch (...) {
                    trouble[t] = std::current_exception();
                    first_ended = 0;                            // the others stop soon too
                }
            });
        } catch (const std::system_error&) {                    // no more threads to be had: fewer read
            break;
        }
    }
    try {
        work(true);
    } catch (...) {
        trouble[0] = std::current_exception();
        first_ended = 0;
    }
    for (std::thread& h : helpers) h.join();
    for (const std::exception_ptr& e : trouble)
        if (e) std::rethrow_exception(e);                       // out of memory, most likely

    // The pieces in order, as far as they follow on from one another; what
    // was read beyond that is given back.
    auto drop_from = [&](std::size_t k) {
        for (std::size_t d = k; d < pieces; ++d)
            if (taken[d].exchange(false)) delete_records(read[d].head, read[d].tail);
    };
    int count = 0;
    star_type* tail = nullptr;
    line_values last{};
    long long skipped[skip_reasons] = {};
    long long at = data_start, lines_before = header_lines, rows_before = 0;
    for (std::size_t k = 0; k < pieces; ++k) {
        lines_read& r = read[k];
        if (!taken[k] || r.start != at) {
            // The lines before ran past this piece's start: drop what was read
            // from there and read on from where they stopped.
            drop_from(k);
            file_source source(fd, at);
            r = read_lines(source, at, LLONG_MAX, count == 0 ? first : nullptr, &progress, table);
        }
        if (r.count && count == 0 && r.head != first) {
            // The pieces before gave no star (blank lines, skipped rows): the
            // first record of this one goes into the caller's.
            star_type* made = r.head;
            first->star_set(made->name, made->abs_magnitude, made->position, made->spectral_class);
            first->next = made == r.tail ? nullptr : made->next;
            if (r.tail == made) r.tail = first;
            r.head = first;
            for (std::pair<star_type*, long long>& named : r.by_row)
                if (named.first == made) named.first = first;
            delete made;
        }
        for (const std::pair<star_type*, long long>& named : r.by_row)  // rows counted from the first piece
            name_by_row(*table, rows_before + named.second, named.first->name);
        rows_before += r.rows;
        for (int k2 = 0; k2 < skip_reasons; ++k2) skipped[k2] += r.skipped[k2];
        if (r.count) {
            if (tail) tail->next = r.head;
            tail = r.tail;
            count += r.count;
            last = r.last;
        }
        if (r.ended) {                                          // the last piece always is
            drop_from(k + 1);
            progress.finish();
            close_load(r, lines_before + r.line_feeds + 1, count, count ? tail : first, last, skipped, report, notes);
            return count;
        }
        at = r.stop;
        lines_before += r.line_feeds;
    }
    return count;                                               // not reached: the last piece ends the load
}

} // namespace

int load_catalog(std::istream& in, star_type* first, std::ostream& report, const load_notes& notes)
{
    stream_source source(in);
    return load(source, first, report, notes);
}

int load_catalog(std::istream& in, star_type* first, std::ostream& report)
{
    return load_catalog(in, first, report, load_notes());
}

int load_catalog(const char* file_name, star_type* first, std::ostream& report, const load_notes& notes)
{
    const int fd = ::open(file_name, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (notes.errors) *notes.errors << printable(notes.source_name) << ": cannot open: " << std::strerror(errno) << std::endl;
        report << "Fail after reading " << first->name << " at Distance " << 0.0f << std::endl;
        return 0;
    }
    load_notes file_notes = notes;
    struct stat about;
    const bool regular = fstat(fd, &about) == 0 && S_ISREG(about.st_mode);
    file_notes.input_size = regular ? about.st_size : 0;
    int count;
    std::string head;
    file_source ahead(fd, 0);
    bool ended = regular && read_ahead(ahead, head, 64 << 10);
    table_layout layout;
    size_t data_start = 0;
    long long header_lines = 0;
    const bool table = regular && !starts_gzip(head.data(), head.size()) &&
                       find_header(ahead, head, ended, layout, data_start, header_lines) == recognition::table;
    if (regular && !starts_gzip(head.data(), head.size())) {
        if (!table) data_start = 0, header_lines = 0;
        count = load_in_pieces(fd, about.st_size, first, report, file_notes, table ? &layout : nullptr,
                               (long long)data_start, header_lines);
    } else if (regular) {                                       // compressed: one stream
        file_source source(fd, 0);
        count = load(source, first, report, file_notes);
    } else {                                                    // a pipe, a terminal: from where it stands
        file_source source(fd);
        count = load(source, first, report, file_notes);
    }
    ::close(fd);
    return count;
}

int load_catalog(const char* file_name, star_type* first, float)
{
    load_notes notes;
    notes.source_name = file_name;
    notes.errors = &std::cerr;
    if (isatty(STDERR_FILENO)) notes.progress = &std::cerr;
    return load_catalog(file_name, first, std::cout, notes);
}
