// Reading a stretch of a catalog's input, line by line, into a chain of star
// records: the tab-separated catalog a line at a time, up to a given offset or
// the first line that cannot be read whole, or a table a row at a time, up to
// a given offset, its rows that cannot be read skipped and counted.
#ifndef STARHOP_LINE_READER_H
#define STARHOP_LINE_READER_H

#include "engine/byte_source.h"
#include "engine/catalog_formats.h"
#include "engine/catalog_line.h"
#include "engine/load_report.h"

#include <utility>
#include <vector>

class star_type;

// What reading a stretch of the input gave: its records, chained from head
// to tail, and where and why the reading stopped.
struct lines_read : load_ending {
    star_type* head = nullptr;
    star_type* tail = nullptr;
    int count = 0;
    line_values last{};                                         // the last line read whole, if any
    long long start = 0;                                        // offset of its first line
    long long stop = 0;                                         // offset of the line it stopped before
    long long line_feeds = 0;                                   // in [start, stop)
    rows_skipped skipped;                                       // a table's rows that gave no star, lines from start
    long long rows = 0;                                         // a table's data rows read
    std::vector<std::pair<star_type*, long long>> by_row;       // records to be named by their row's number
};

// Reads lines from `source`, which starts at offset `start`, until a line
// would start at or after `stop_at` or a line of the tab-separated catalog
// cannot be read whole (a table's row that cannot be read is skipped). The first
// line read fills `fill` when that is given; every other is a new record.
// A table's rows are read in its own way when `table` is given; `first_row`
// is then the number of the first data row, 0 when it is not known. Where
// memory runs out the reading ends there, keeping what came before.
lines_read read_lines(byte_source& source, long long start, long long stop_at, star_type* fill,
                      progress_line* progress, const table_layout* table = nullptr, long long first_row = 0);

#endif
