// The catalog loader on arbitrary bytes: the input is the whole catalog file.
//
// Every load is checked against a second, deliberately plain reading of the
// same bytes: one stream operation of the line format at a time, none reaching
// past a line feed, as an index walking the raw bytes (only the numbers are
// left to the standard library's
// float extraction, which defines what a number is). From it the check knows
// which lines read whole, and demands of the loader:
//  - exactly one record per line that read whole, in order, with that line's
//    name and class letters, and nothing from a line that failed;
//  - a result equal to the length of the list; with 0, the head untouched;
//  - every name terminated inside its 25 bytes, zero after the terminator;
//  - each record's magnitude and position equal to those of a clean line
//    written from the numbers of its own line, so no value leaks in from a
//    neighbouring line;
//  - the closing line naming the last record and showing its distance;
//  - the same list and closing line when the stream hands out the bytes a
//    few at a time, so that lines cross every possible refill boundary, and
//    when a file of the bytes is cut into pieces of a few bytes read by up
//    to three threads (with the same explanation, too);
//  - at most one line of explanation on the error stream, naming the file
//    and a line of it, and one whenever a number column held text that is
//    not a number.
// Inputs that are a HYG or Gaia table, or gzip, are read by other rules; for
// them the check demands the same list, closing line and explanations from a
// stream, a trickle and a file read by threads, a list as long as the result
// with every name terminated, and for an intact gzip stream the same as
// loading the bytes it holds.
#include "engine/catalog.h"
#include "engine/catalog_formats.h"
#include "engine/gzip_reader.h"
#include "engine/stars.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <sstream>
#include <streambuf>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace {

const size_t largest_input = 64 * 1024;
const size_t records_rechecked = 16;            // clean-line loads per input, for speed

[[noreturn]] void fail(const char* what, size_t record)
{
    std::fprintf(stderr, "load_fuzz: record %zu: %s\n", record, what);
    std::abort();
}

// What one line that read whole supplies.
struct line_read {
    std::string name, class_word;
    float magnitude, distance, ra[3], dec[3];
};

// A read-only view of the input's bytes from one position on, so that the
// standard float extraction can run there and tell how far it got.
class byte_view : public std::streambuf {
public:
    byte_view(const char* begin, const char* end) { setg((char*)begin, (char*)begin, (char*)end); }
    size_t taken() const { return gptr() - eback(); }
};

// The input in pieces of `piece` bytes, as a pipe or a slow device gives it.
class trickle : public std::streambuf {
public:
    trickle(const char* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}

protected:
    int_type underflow() override
    {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        if (pos_ == size_) return traits_type::eof();
        const size_t n = std::min(piece_, size_ - pos_);
        char* at = const_cast<char*>(data_ + pos_);
        setg(at, at, at + n);
        pos_ += n;
        return traits_type::to_int_type(*gptr());
    }

private:
    const char* data_;
    size_t size_, piece_, pos_ = 0;
};

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The stream operations of the line format, over the raw bytes. Like a stream,
// it has an end flag (set when an operation runs into the end of the input)
// and a fail flag; once either is set, every further operation fails.
class plain_reader {
public:
    plain_reader(const char* data, size_t size) : data_(data), size_(size) {}
    bool failed() const { return failed_; }
    bool at_end() const { return at_end_; }
    bool met_no_number() const { return no_number_; }

    // A line of nothing but spaces, tabs and carriage returns, passed over.
    bool blank_line()
    {
        size_t p = pos_;
        while (p < size_ && (data_[p] == ' ' || data_[p] == '\t' || data_[p] == '\r')) ++p;
        if (p == size_ || data_[p] != '\n') return false;
        pos_ = p + 1;
        return true;
    }

    // The name column: up to 24 characters before the tab; of a longer name
    // the first 24 count and the rest of the column up to its tab is skipped.
    // No column reaches past the line feed: meeting it fails the line.
    void name(std::string& out)
    {
        out.clear();
        if (!usable()) return;
        while (out.size() < 24 && pos_ < size_ && data_[pos_] != '\t' && data_[pos_] != '\n') out += data_[pos_++];
        while (pos_ < size_ && data_[pos_] != '\t' && data_[pos_] != '\n') ++pos_;  // 24 kept, more to come
        if (pos_ < size_ && data_[pos_] == '\n') {
            failed_ = true;
        } else if (pos_ == size_) {
            at_end_ = true;
            if (out.empty()) failed_ = true;
        } else {
            ++pos_;                                              // the tab
        }
    }

    // Up to `limit` characters, stopping after the first `delimiter`.
    void skip(size_t limit, char delimiter)
    {
        if (!usable()) return;
        for (size_t n = 0; n < limit; ++n) {
            if (pos_ == size_) {
                at_end_ = true;
                return;
            }
            if (delimiter != '\n' && data_[pos_] == '\n') {
                failed_ = true;
                return;
            }
            if (data_[pos_++] == delimiter) return;
        }
    }

    // White space, then a number in the standard extraction's terms.
    void number(float& out)
    {
        if (!usable() || !skip_space()) return;
        byte_view view(data_ + pos_, data_ + size_);
        std::istream in(&view);
        float v;
        in >> v;
        pos_ += view.taken();
        if (in.eof()) at_end_ = true;
        if (in.fail()) failed_ = true;
        else out = v;
        no_number_ = in.fail() && !in.eof();
    }

    // White space, then a word: its first 15 characters count, the rest of it
    // is passed over.
    void word(std::string& out)
    {
        if (!usable() || !skip_space()) return;
        const size_t start = pos_;
        while (pos_ < size_ && !is_space(data_[pos_])) ++pos_;
        out.assign(data_ + start, std::min<size_t>(pos_ - start, 15));
        if (pos_ == size_) at_end_ = true;
    }

private:
    bool usable()
    {
        if (failed_ || at_end_) failed_ = true;
        return !failed_;
    }
    bool skip_space()
    {
        while (pos_ < size_ && is_space(data_[pos_]) && data_[pos_] != '\n') ++pos_;
        if (pos_ < size_ && data_[pos_] == '\n') failed_ = true;
        if (pos_ < size_) return !failed_;
        at_end_ = failed_ = true;
        return false;
    }

    const char* data_;
    size_t size_, pos_ = 0;
    bool at_end_ = false, failed_ = false, no_number_ = false;
};

// One line, column by column: read, skip, read, ... and the rest of the line.
bool read_line(plain_reader& r, line_read& l)
{
    r.name(l.name);
    r.skip(100, '\t');                                           // column 2
    r.number(l.magnitude);
    r.skip(100, '\t');
    r.skip(100, '\t');                                           // column 4
    r.number(l.distance);
    r.skip(100, '\t');
    r.skip(100, '\t');                                           // column 6
    r.word(l.class_word);
    r.skip(100, '\t');
    r.skip(100, '\t');                                           // column 8
    for (float& v : l.ra) r.number(v);
    r.skip(100, '\t');
    r.skip(100, '\t');                                           // column 10
    for (float& v : l.dec) r.number(v);
    if (r.failed()) return false;
    r.skip(200, '\n');                                           // the rest of the line
    return true;
}

// The lines that read whole; `no_number` tells whether reading stopped at a
// number column holding something else.
std::vector<line_read> read_plainly(const char* data, size_t size, bool& no_number)
{
    std::vector<line_read> lines;
    plain_reader r(data, size);
    line_read l{};
    while (!r.failed()) {
        if (r.blank_line()) continue;
        if (!read_line(r, l)) break;
        lines.push_back(l);
    }
    no_number = r.met_no_number();
    return lines;
}

// An explanation is one line: "fuzz.txt:<line>: ..." with a line of the input.
void check_explanation(const std::string& text, bool required, const char* data, size_t size)
{
    if (text.empty()) {
        if (required) fail("a number column held no number, and nothing explains it", 0);
        return;
    }
    const std::string opening = "fuzz.txt:";
    if (text.compare(0, opening.size(), opening) || text.back() != '\n' ||
        text.find('\n') != text.size() - 1)
        fail("the explanation is not one line naming the file", 0);
    char* after;
    const long line = std::strtol(text.c_str() + opening.size(), &after, 10);
    if (line < 1 || line > 1 + std::count(data, data + size, '\n') || *after != ':')
        fail("the explanation names no line of the file", 0);
}

// A text copied as a zero-filled fixed-size field stores it: up to the first
// NUL, at most `size` bytes.
std::string as_field(const std::string& text, size_t size)
{
    std::string field(text.c_str(), std::min(std::strlen(text.c_str()), size));
    field.resize(size, '\0');
    return field;
}

bool same_float(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0;
}

// Loads a clean line with these numbers into `out`; false when it does not load.
bool load_clean_line(const line_read& l, star_type& out)
{
    char text[512];
    std::snprintf(text, sizeof text, "N\t\t%.9g\t\t%.9g\t\tX\t\t%.9g %.9g %.9g\t\t%.9g %.9g %.9g\n",
                  (double)l.magnitude, (double)l.distance, (double)l.ra[0], (double)l.ra[1], (double)l.ra[2],
                  (double)l.dec[0], (double)l.dec[1], (double)l.dec[2]);
    std::istringstream in(text);
    std::ostringstream report;
    star_list list;
    const int result = load_catalog(in, list.first(), report);
    out = *list.first();
    out.next = nullptr;                                       // the rest goes with the list
    return result == 1;
}

// A load's list, closing line and explanations, in one comparable text.
struct other_load {
    int result;
    std::string report, errors, records;
};

other_load describe(const star_list& list, int result, const std::ostringstream& report, const std::ostringstream& errors)
{
    other_load o{result, report.str(), errors.str(), std::string()};
    int n = 0;
    for (const star_type* s = result > 0 ? list.first() : nullptr; s; s = s->next, ++n) {
        if (!std::memchr(s->name, 0, sizeof s->name)) fail("name not terminated", (size_t)n);
        o.records.append(reinterpret_cast<const char*>(s), offsetof(star_type, view_position));
        o.records.append(reinterpret_cast<const char*>(&s->abs_magnitude), sizeof s->abs_magnitude);
    }
    if (n != result) fail("list and result differ", (size_t)n);
    return o;
}

// The bytes a gzip input holds, when it is whole and not too large to load.
bool gunzip(const char* data, size_t size, std::string& out)
{
    z_stream z{};
    if (inflateInit2(&z, 15 + 16) != Z_OK) return false;
    z.next_in = (Bytef*)data;
    z.avail_in = (uInt)size;
    int status = Z_OK;
    char block[4096];
    while (status == Z_OK && out.size() < largest_input * 4) {
        z.next_out = (Bytef*)block;
        z.avail_out = sizeof block;
        status = inflate(&z, Z_NO_FLUSH);
        out.append(block, sizeof block - z.avail_out);
        if (status == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    return status == Z_STREAM_END && z.avail_in == 0;        // one member, nothing after it
}

void check_other_format(const char* data, size_t size)
{
    const std::string text(data, size);
    auto from_stream = [&](std::istream& in) {
        star_list list;
        std::ostringstream report, errors;
        load_notes notes;
        notes.source_name = "fuzz.txt";
        notes.errors = &errors;
        const int n = load_catalog(in, list.first(), report, notes);
        return describe(list, n, report, errors);
    };
    std::istringstream whole(text);
    const other_load want = from_stream(whole);
    trickle pieces(data, size, 1 + size % 16);
    std::istream slow(&pieces);
    const other_load trickled = from_stream(slow);
    if (trickled.result != want.result || trickled.records != want.records || trickled.report != want.report ||
        trickled.errors != want.errors)
        fail("a table or gzip read in pieces differs", 0);

    const int fd = memfd_create("fuzz.txt", 0);
    if (fd < 0 || write(fd, data, size) != (ssize_t)size) fail("the file cannot be made", 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    star_list list;
    std::ostringstream report, errors;
    load_notes notes;
    notes.source_name = "fuzz.txt";
    notes.errors = &errors;
    notes.piece_bytes = 1 + (long long)(size / 8 + size % 7);
    notes.threads = 1 + size % 3;
    const int n = load_catalog(path.c_str(), list.first(), report, notes);
    close(fd);
    const other_load threaded = describe(list, n, report, errors);
    if (threaded.result != want.result || threaded.records != want.records || threaded.report != want.report ||
        threaded.errors != want.errors)
        fail("a table or gzip read by threads differs", 0);

    std::string plain;
    if (starts_gzip(data, size) && gunzip(data, size, plain) && !starts_gzip(plain.data(), plain.size())) {
        std::istringstream in(plain);
        const other_load unpacked = from_stream(in);
        if (unpacked.result != want.result || unpacked.records != want.records || unpacked.report != want.report ||
            unpacked.errors != want.errors)
            fail("gzip loads otherwise than the bytes it holds", 0);
    }
}

void check_load(const char* data, size_t size)
{
    table_layout layout;
    size_t data_start;
    long long lines_before;
    if (starts_gzip(data, size) ||
        recognise_table(data, data + size, true, layout, data_start, lines_before) == recognition::table) {
        check_other_format(data, size);
        return;
    }

    bool no_number;
    const std::vector<line_read> lines = read_plainly(data, size, no_number);

    star_list stars;
    star_type& head = *stars.first();
    std::istringstream in(std::string(data, size));
    std::ostringstream report;
    const int result = load_catalog(in, &head, report);

    if (result < 0 || (size_t)result != lines.size()) {
        std::fprintf(stderr, "load_fuzz: result %d, %zu lines read whole\n", result, lines.size());
        fail("wrong result", 0);
    }
    if (result == 0) {
        const star_type fresh;
        if (std::memcmp(head.name, fresh.name, sizeof head.name) ||
            std::memcmp(head.spectral_class, fresh.spectral_class, sizeof head.spectral_class) ||
            !std::isnan(head.abs_magnitude) || head.next)
            fail("result 0 but the head was filled or linked", 0);
    }

    const star_type* s = &head;
    const star_type* last = &head;
    for (size_t i = 0; i < lines.size(); last = s, s = s->next, ++i) {
        if (!s) fail("list ends early", i);
        const line_read& l = lines[i];
        const char* end = static_cast<const char*>(std::memchr(s->name, 0, sizeof s->name));
        if (!end) fail("name not terminated", i);
        if (std::string(s->name, sizeof s->name) != as_field(l.name, sizeof s->name))
            fail("name is not its line's first column", i);
        if (std::string(s->spectral_class, 3) != as_field(l.class_word, 3))
            fail("class is not its line's class word", i);
        if (i < records_rechecked) {
            star_type clean;
            if (!load_clean_line(l, clean)) fail("its numbers do not load from a clean line", i);
            if (!same_float(s->abs_magnitude, clean.abs_magnitude)) fail("magnitude differs", i);
            if (!same_float(s->position.x, clean.position.x) || !same_float(s->position.y, clean.position.y) ||
                !same_float(s->position.z, clean.position.z))
                fail("position differs", i);
        }
        if (i + 1 == lines.size() && s->next) fail("list goes on past the result", i);
    }

    std::ostringstream closing;
    closing << "Fail after reading " << last->name << " at Distance "
            << (lines.empty() ? 0.0f : lines.back().distance) << '\n';
    if (report.str() != closing.str()) fail("closing line is not for the last record", lines.size());

    // Again in pieces of 1 to 16 bytes, chosen by the input's length, with the
    // explanation and the progress line asked for.
    trickle pieces(data, size, 1 + size % 16);
    std::istream slow(&pieces);
    star_list again;
    std::ostringstream again_report, errors, progress;
    load_notes notes;
    notes.source_name = "fuzz.txt";
    notes.errors = &errors;
    notes.progress = &progress;
    notes.input_size = (long long)size;
    notes.progress_after = 0;
    if (load_catalog(slow, again.first(), again_report, notes) != result) fail("read in pieces, another result", 0);
    check_explanation(errors.str(), no_number, data, size);
    if (again_report.str() != report.str()) fail("read in pieces, another closing line", 0);
    auto same_records = [&](const star_type& other, const char* what) {
        const star_type* a = &other;
        const star_type* s = &head;
        for (size_t i = 0; i < lines.size(); ++i, a = a->next, s = s->next)
            if (!a || std::memcmp(a->name, s->name, sizeof s->name) ||
                std::memcmp(a->spectral_class, s->spectral_class, sizeof s->spectral_class) ||
                !same_float(a->abs_magnitude, s->abs_magnitude) || !same_float(a->position.x, s->position.x) ||
                !same_float(a->position.y, s->position.y) || !same_float(a->position.z, s->position.z))
                fail(what, i);
    };
    same_records(*again.first(), "read in pieces, another record");
    again.clear();

    // And from a file cut into pieces of a few bytes, read by up to three
    // threads at once, chosen by the input's length.
    const int fd = memfd_create("fuzz.txt", 0);
    if (fd < 0 || write(fd, data, size) != (ssize_t)size) fail("the file cannot be made", 0);
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    star_list third;
    std::ostringstream third_report, third_errors;
    load_notes file_notes;
    file_notes.source_name = "fuzz.txt";
    file_notes.errors = &third_errors;
    file_notes.piece_bytes = 1 + (long long)(size / 8 + size % 7);     // eight pieces or so
    file_notes.threads = 1 + size % 3;
    const int third_result = load_catalog(path.c_str(), third.first(), third_report, file_notes);
    close(fd);
    if (third_result != result) fail("read by threads, another result", 0);
    if (third_errors.str() != errors.str()) fail("read by threads, another explanation", 0);
    if (third_report.str() != report.str()) fail("read by threads, another closing line", 0);
    same_records(*third.first(), "read by threads, another record");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > largest_input) return 0;
    check_load(reinterpret_cast<const char*>(data), size);
    return 0;
}
