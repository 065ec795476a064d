// What a catalog load tells besides its records: the closing line, the
// percentage read while a long load runs, the `file:line:` explanation of a
// load that stopped early, and the rows of a table that gave no star: the
// first few of each reason by their line, all of them counted.
#ifndef STARHOP_LOAD_REPORT_H
#define STARHOP_LOAD_REPORT_H

#include "engine/catalog_formats.h"
#include "engine/catalog_line.h"

#include <chrono>
#include <iosfwd>
#include <string>
#include <vector>

// What a load tells besides its closing line, and where.
struct load_notes {
    const char* source_name = "stars.txt";     // the file's name in the explanations
    std::ostream* errors = nullptr;            // why the load stopped early; nothing when null
    std::ostream* progress = nullptr;          // percent read, on one line rewritten in place
    long long input_size = 0;                  // bytes to read, for the percentage; 0: unknown
    double progress_after = 1.0;               // seconds before the first progress note
    // A regular file is cut into pieces of about this many bytes, read by this
    // many threads at once (0: one for each processor core).
    long long piece_bytes = 16 << 20;
    unsigned threads = 0;
};

// Percent of the input read, on one line of its own that is rewritten in
// place; it appears only once the load has taken a while.
class progress_line {
public:
    explicit progress_line(const load_notes& notes)
        : notes_(notes), started_(std::chrono::steady_clock::now()) {}

    void update(long long done);
    // Ends the progress line, if one was shown, so that what follows starts on
    // a line of its own.
    void finish();

private:
    const load_notes& notes_;
    std::chrono::steady_clock::time_point started_;
    bool shown_ = false;
    int last_percent_ = -1;
};

// How the reading of the input ended, as far as the explanation tells it.
struct load_ending {
    bool ended = false;                                         // stopped by a line it could not read whole
    bool out_of_memory = false;                                 // or by a record memory could not be found for
    bool quiet = true;                                          // ended where only white space was left
    failure why;                                                // and why, when not quiet
    std::string text;                                           // the column's text, quoted, when a number failed
    std::string damage;                                         // why the bytes ended early
    long long bytes_seen = 0;                                   // offset of the last byte read, plus one
    int error = 0;                                              // errno of a failed read
};

// How many of a table's skipped rows are named for each reason; the rest
// are only counted.
constexpr int rows_named_per_reason = 5;

// A table's row that gave no star, as it is named: its line, by the line
// feeds before it, and why (with where in it, when it cannot be read).
struct skipped_row {
    long long line_feeds;
    skip_reason why;
    row_problem problem;
};

// The rows of a table that gave no star: how many for each reason, and the
// first rows_named_per_reason of each in the order of the file.
struct rows_skipped {
    long long count[skip_reasons] = {};
    std::vector<skipped_row> named;

    // Whether the next row skipped for `why` is one to name.
    bool names_next(skip_reason why) const { return count[why] < rows_named_per_reason; }
    // Counts a row, and names it when it is among the first of its reason;
    // `line_feeds` are those before it.
    void add(skip_reason why, long long line_feeds, const row_problem& problem);
    // Those of a stretch that follows the rows counted so far, `line_feeds`
    // after those the stretch's own lines are counted from.
    void add_after(const rows_skipped& stretch, long long line_feeds);
};

// What stood in a column from `text` on, up to its tab or the line's end and
// before `end`, quoted and shortened for a message.
std::string column_quoted(const char* text, const char* end);

// Says on the notes' errors stream why the load ended early, if it did, and
// writes the closing line to `report`. `line` is the number of the line the
// load ended at, `count` the records it filled, the last of them named
// `last_name` at `last_distance` (the caller's record and 0 when none was),
// `skipped` the rows of a table that gave no star, their lines counted from
// the file's start. The rows named come first, then why the load ended, then
// the counts.
void close_load(const load_ending& ending, long long line, int count, const char* last_name, float last_distance,
                const rows_skipped& skipped, std::ostream& report, const load_notes& notes);

// One row skipped as it is named, without its line feed:
// "stars.txt:41:3: dec column (field 2) holds "x", not a number; row skipped"
// or "stars.txt:7: row without a usable distance skipped".
std::string skipped_row_line(const std::string& source_name, const skipped_row& row);

// How many rows were skipped for `why`, without its line feed:
// "12,004 rows without a usable distance skipped".
std::string rows_skipped_text(long long count, skip_reason why);

#endif
