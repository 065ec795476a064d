// Turns the fixed-column Hipparcos/Tycho star list into the viewer's
// tab-separated stars.txt, one star per line, in the source's order; and the
// HYG and Gaia tables (plain or gzip) the loader reads, by the same rules.
#ifndef STARHOP_CATALOG_CONVERT_H
#define STARHOP_CATALOG_CONVERT_H

#include "engine/catalog_formats.h"

#include <iosfwd>
#include <memory>
#include <string>

// One star as the viewer's catalog line holds it.
struct catalog_star {
    std::string name;               // at most 24 characters, no tab; may be empty
    double magnitude = 0;           // apparent, as seen from Earth
    double distance = 0;            // light years
    std::string spectral_class;     // never empty: the loader cannot skip an empty column
    std::string right_ascension;    // "hh mm ss.ss"
    std::string declination;        // "+dd mm ss.s", sign always written
};

enum class source_line {
    star,           // `star` is filled
    no_parallax,    // a well-formed star without a usable parallax; `star` is filled but its distance is 0
    comment,        // a '#' line or an empty one
    bad,            // `problem` says why
};

// Longest name the loader keeps whole.
constexpr std::size_t max_name_length = star_name_length;
// Class written for a star whose source type is blank.
extern const char unknown_class[];

// Reads one source line (without its line feed) into `star`.
source_line read_source_line(const std::string& line, catalog_star& star, std::string& problem);

// The viewer's line for `star`, without the line feed.
std::string catalog_line(const catalog_star& star);

// The Sun, one astronomical unit from Earth toward where it stands at the
// March equinox.
catalog_star sun();

struct conversion_counts {
    long stars_read = 0;        // well-formed star lines of the source
    long lines_written = 0;     // the Sun included
    long no_parallax = 0;       // left out: parallax 0 or negative
    long named = 0;             // written lines with a name, the Sun included
    long bad_lines = 0;         // skipped, each reported on `errors`
};

// Writes the Sun and then every source star with a usable distance to `out`,
// each line ending with a line feed. Bad lines are skipped and reported on
// `errors` as "source_name:line: what is wrong".
conversion_counts convert_catalog(std::istream& source, const std::string& source_name,
                                  std::ostream& out, std::ostream& errors);

// What a source file holds, told from its first bytes and lines.
enum class source_kind {
    fixed_columns,  // the Hipparcos/Tycho list
    ours,           // already the viewer's format: copied as it is
    table,          // a HYG or Gaia table
    refused,        // none of them, or nothing to convert: `refusal` says why
};

// Why a source is refused: the line to blame (0 when none is) and the reason.
struct refusal {
    long long line = 0;
    std::string reason;
};

// Opens `path` for reading, decompressed when it is gzip; null when it
// cannot be opened.
std::unique_ptr<std::istream> open_source(const std::string& path);

// Tells the kind from the start of `source` (read on from there); for a table
// also its layout and the lines before its first row. A source is refused
// when it is empty, holds a NUL byte before its first star line, holds no line
// but comments and blank ones (a table: no row after its header), or when
// that first line does not read as a line of its kind: for ours, the first
// line that is not blank must read whole as the viewer reads a catalog line,
// for the fixed-column list the first that is not a comment as a star of it.
source_kind recognise_source(std::istream& source, table_layout& layout, long long& lines_before, refusal& why);

// Why a gzip source ended early, once it has been read to its end; empty
// when it did not, or is not gzip.
std::string source_damage(std::istream& source);

struct table_counts {
    long rows = 0;                              // data rows read, kept or skipped
    long lines_written = 0;
    long skipped[skip_reasons] = {};            // those that cannot be read among them
};

// Writes each kept row of a table as a line of the viewer's format; `source`
// stands after the header, whose line is `lines_before`. Rows that give no
// star, those that cannot be read among them, are skipped and counted, and
// the first few of each reason named on `errors` as the loader names them
// ("source_name:line:column: ...; row skipped").
table_counts convert_table(std::istream& source, const table_layout& layout, long long lines_before,
                           const std::string& source_name, std::ostream& out, std::ostream& errors);

#endif
