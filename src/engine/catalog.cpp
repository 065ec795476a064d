// The loader: a catalog file or stream told apart (gzip, a table, the
// tab-separated catalog), read in one stretch or, for a regular file, in
// pieces on several threads joined in order, and the load closed.
#include "engine/catalog.h"

#include "engine/byte_source.h"
#include "engine/catalog_formats.h"
#include "engine/line_reader.h"
#include "engine/load_report.h"
#include "engine/stars.h"
#include "base/file_descriptor.h"
#include "base/text.h"
#include "base/worker.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// The most read ahead to find a table's header line; ECSV metadata before it
// runs to a few kilobytes a column.
const size_t header_reach = 4 << 20;

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
    rows_skipped skipped;
    skipped.add_after(r.skipped, lines_before);                 // their lines counted from the file's start
    close_load(r, lines_before + r.line_feeds + 1, r.count, (r.count ? r.tail : first)->name, r.last.distance,
               skipped, report, notes);
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

// A regular file cut into pieces of about equal size, from where its data
// starts; a table's rows start at `data_start`.
struct piece_plan {
    int fd;
    const table_layout* table;                                  // null: the tab-separated catalog
    long long data_start;
    long long data;                                             // bytes from data_start to the end
    std::size_t pieces;
};

// Where piece k's first line starts, and where the next piece's does.
long long piece_start(const piece_plan& plan, std::size_t k)
{
    return k == 0 ? plan.data_start : line_start_at(plan.fd, plan.data_start + (long long)(plan.data * k / plan.pieces));
}

long long piece_stop(const piece_plan& plan, std::size_t k)
{
    return k + 1 == plan.pieces ? LLONG_MAX : piece_start(plan, k + 1);
}

// What reading each piece gave, and whether it was read at all.
struct pieces_read {
    explicit pieces_read(std::size_t pieces) : read(pieces), taken(new std::atomic<bool>[pieces])
    {
        for (std::size_t k = 0; k < pieces; ++k) taken[k] = false;
    }
    std::vector<lines_read> read;
    std::unique_ptr<std::atomic<bool>[]> taken;

    // Gives back the records read from piece k on, all but the caller's.
    void drop_from(std::size_t k, std::size_t pieces, const star_type* first)
    {
        for (std::size_t d = k; d < pieces; ++d) {
            if (!taken[d].exchange(false)) continue;
            star_type* head = read[d].head;
            if (head == first) {                                 // the caller's record stays
                if (head == read[d].tail) continue;
                head = head->next;
            }
            delete_records(head, read[d].tail);
        }
    }
};

// Reads the pieces on `threads` threads at once: each takes the next piece,
// starts at the first line that begins in it, as if the lines before ran as
// they look, and reads up to the first line of the next piece; none is taken
// after one that ended the load. What a thread throws (out of memory, most
// likely) stops the others soon and is thrown again here.
void read_pieces(const piece_plan& plan, star_type* first, unsigned threads, pieces_read& out, progress_line& progress)
{
    std::atomic<std::size_t> next{0}, first_ended{plan.pieces};
    std::atomic<long long> bytes_done{0};
    on_threads(threads, [&](unsigned thread) {
        try {
            for (std::size_t k; (k = next++) < plan.pieces && k <= first_ended;) {
                const long long start = piece_start(plan, k);
                file_source source(plan.fd, start);
                out.read[k] = read_lines(source, start, piece_stop(plan, k), k == 0 ? first : nullptr, nullptr,
                                         plan.table);
                out.taken[k] = true;
                if (out.read[k].ended)
                    for (std::size_t e = first_ended; k < e && !first_ended.compare_exchange_weak(e, k);) {}
                bytes_done += out.read[k].stop - start;
                if (thread == 0) progress.update(bytes_done);
            }
        } catch (...) {
            first_ended = 0;                                    // the others stop soon too
            throw;
        }
    });
}

// The pieces before gave no star (blank lines, skipped rows): the first
// record of `r` goes into the caller's.
void move_into_first(lines_read& r, star_type* first)
{
    star_type* made = r.head;
    first->star_set(made->name, made->abs_magnitude, made->position, made->spectral_class);
    first->next = made == r.tail ? nullptr : made->next;
    if (r.tail == made) r.tail = first;
    r.head = first;
    for (std::pair<star_type*, long long>& named : r.by_row)
        if (named.first == made) named.first = first;
    delete made;
}

// Joins the pieces in order, and closes the load. A piece counts only where
// reading the one before truly stopped at its first line: where it did not
// (a line running over its line feed, as a long rest of a line or a column
// skip can), the file is read on from the true place, one line after
// another. So the records, the count, the closing line and the explanation,
// a table's skipped rows and the first of them named among it, are those of
// reading the file from its start, after `header_lines` lines.
int join_pieces(const piece_plan& plan, pieces_read& got, star_type* first, long long header_lines,
                std::ostream& report, const load_notes& notes, progress_line& progress)
{
    int count = 0;
    star_type* tail = nullptr;
    line_values last{};
    rows_skipped skipped;
    long long at = plan.data_start, lines_before = header_lines, rows_before = 0;
    for (std::size_t k = 0; k < plan.pieces; ++k) {
        lines_read& r = got.read[k];
        if (!got.taken[k] || r.start != at) {
            // The lines before ran past this piece's start: drop what was read
            // from there and read on from where they stopped.
            got.drop_from(k, plan.pieces, first);
            file_source source(plan.fd, at);
            r = read_lines(source, at, LLONG_MAX, count == 0 ? first : nullptr, &progress, plan.table);
        }
        if (r.count && count == 0 && r.head != first) move_into_first(r, first);
        for (const std::pair<star_type*, long long>& named : r.by_row)  // rows counted from the first piece
            name_by_row(*plan.table, rows_before + named.second, named.first->name);
        rows_before += r.rows;
        skipped.add_after(r.skipped, lines_before);
        if (r.count) {
            if (tail) tail->next = r.head;
            tail = r.tail;
            count += r.count;
            last = r.last;
        }
        if (r.ended) {                                          // the last piece always is
            got.drop_from(k + 1, plan.pieces, first);
            progress.finish();
            close_load(r, lines_before + r.line_feeds + 1, count, (count ? tail : first)->name, last.distance,
                       skipped, report, notes);
            return count;
        }
        at = r.stop;
        lines_before += r.line_feeds;
    }
    return count;                                               // not reached: the last piece ends the load
}

// A regular file, read by several threads at once, with the same outcome as
// reading it from its start. A table's rows start at `data_start`, after
// `header_lines` lines; each row is one line.
int load_in_pieces(int fd, long long size, star_type* first, std::ostream& report, const load_notes& notes,
                   const table_layout* table, long long data_start, long long header_lines)
{
    const long long piece = std::max<long long>(notes.piece_bytes, 1);
    piece_plan plan{fd, table, data_start, size - data_start, 0};
    plan.pieces = (std::size_t)std::max<long long>((plan.data + piece - 1) / piece, 1);
    unsigned threads = notes.threads ? notes.threads : std::max(1u, std::thread::hardware_concurrency());
    threads = (unsigned)std::min<std::size_t>(threads, plan.pieces);

    pieces_read got(plan.pieces);
    progress_line progress(notes);
    try {
        read_pieces(plan, first, threads, got, progress);
    } catch (...) {                                             // nothing read is kept
        const bool filled = got.taken[0] && got.read[0].head == first;
        got.drop_from(0, plan.pieces, first);
        if (filled) first->next = nullptr;
        throw;
    }
    return join_pieces(plan, got, first, header_lines, report, notes, progress);
}

// A regular file that is not compressed: its table header, if it has one,
// looked for first, then its pieces read.
int load_regular_file(int fd, long long size, star_type* first, std::ostream& report, const load_notes& notes,
                      file_source& ahead, std::string& head, bool ended)
{
    table_layout layout;
    size_t data_start = 0;
    long long header_lines = 0;
    const bool table = find_header(ahead, head, ended, layout, data_start, header_lines) == recognition::table;
    if (!table) data_start = 0, header_lines = 0;
    return load_in_pieces(fd, size, first, report, notes, table ? &layout : nullptr, (long long)data_start,
                          header_lines);
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
    const file_descriptor fd(::open(file_name, O_RDONLY | O_CLOEXEC));
    if (!fd.is_open()) {
        if (notes.errors) *notes.errors << printable(notes.source_name) << ": cannot open: " << std::strerror(errno) << std::endl;
        report << "Fail after reading " << first->name << " at Distance " << 0.0f << std::endl;
        return 0;
    }
    load_notes file_notes = notes;
    struct stat about;
    const bool regular = fstat(fd.get(), &about) == 0 && S_ISREG(about.st_mode);
    file_notes.input_size = regular ? about.st_size : 0;
    std::string head;
    file_source ahead(fd.get(), 0);
    const bool ended = regular && read_ahead(ahead, head, 64 << 10);
    if (regular && !starts_gzip(head.data(), head.size()))
        return load_regular_file(fd.get(), about.st_size, first, report, file_notes, ahead, head, ended);
    file_source source(fd.get(), regular ? 0 : -1);             // compressed: one stream; a pipe, a terminal:
    return load(source, first, report, file_notes);             // from where it stands
}

int load_catalog(const char* file_name, star_type* first, float)
{
    load_notes notes;
    notes.source_name = file_name;
    notes.errors = &std::cerr;
    if (isatty(STDERR_FILENO)) notes.progress = &std::cerr;
    return load_catalog(file_name, first, std::cout, notes);
}
