// Star tables as their sources write them: comma-separated values with a
// header line naming the columns, either of the HYG database (right ascension
// in hours, distance in parsecs) or of a query of the Gaia archive (degrees,
// parallax). Recognised by their header, read row by row.
#ifndef STARHOP_CATALOG_FORMATS_H
#define STARHOP_CATALOG_FORMATS_H

#include "base/vector.h"
#include "engine/stars.h"

#include <cstddef>
#include <string>
#include <vector>

enum class table_kind {
    none,           // not a table of ours: the tab-separated catalog
    hyg,            // ra (hours), dec, dist (parsecs), mag; proper, bf, hip, hd, id, spect
    gaia,           // ra, dec (degrees), parallax (mas), phot_g_mean_mag; source_id, parallax_over_error, bp_rp
};

// Where each column used stands in a row, counted from 0; -1 when absent.
struct table_layout {
    table_kind kind = table_kind::none;
    int ra = -1, dec = -1, magnitude = -1;
    int dist = -1, proper = -1, bf = -1, hip = -1, hd = -1, id = -1, spect = -1;
    int parallax = -1, parallax_over_error = -1, source_id = -1, bp_rp = -1;
    int last_used = -1;                         // the rightmost of them
    std::vector<std::string> header;            // the columns' names, for the explanations
};

enum class recognition { table, not_table, more };   // more: the header line is not all there yet

// Looks at the first bytes of an input, [begin, end), `whole` when nothing
// follows them: a UTF-8 byte order mark and lines starting with '#' may come
// first, then the header line. Gives the layout, the offset of the line after
// the header and the line feeds before it when the header names a table.
recognition recognise_table(const char* begin, const char* end, bool whole, table_layout& layout,
                            std::size_t& data_start, long long& lines_before);

// Light years per parsec as the HYG database counts them, and the light years
// of a parallax of one milliarcsecond.
constexpr double light_years_per_parsec = 3.26156;
constexpr double light_years_per_mas    = 3261.5638;
// HYG's mark of a distance it does not know, in parsecs.
constexpr double unknown_hyg_distance = 100000;
// HYG gives the Sun, under the proper name "Sol", the distance 0; it is read
// as the star the catalogs hold, one astronomical unit away, in light years.
constexpr const char* hyg_sun_name = "Sol";
constexpr const char* sun_name = "Sun";
constexpr double astronomical_unit = 0.000015813;
// The least parallax over its error that gives a usable distance.
constexpr double least_parallax_over_error = 5;

// Why a row gave no star: it cannot be read, or its values give none.
enum skip_reason { unreadable, no_distance, no_magnitude, no_position, skip_reasons };
// How a skip is told: "12,004 rows without a usable distance skipped".
extern const char* const skip_reason_text[skip_reasons];

// Why a row cannot be read: what is wrong, and where in the row, counted in
// characters from 1.
struct row_problem {
    std::string text;                           // "dec column (field 2) holds "x", not a number"
    long column = 0;
};

// One row as the record will hold it.
struct table_star {
    star_name name;
    char class_word[4];
    float abs_magnitude;
    float distance;                             // light years
    vector position;
    // The values it came from, for writing the row out in our own format.
    double magnitude, light_years, ra_hours, dec_degrees;
    bool named_by_row;                          // "Gaia n", "HYG n": named by its row's number
};

enum class row_outcome { star, skipped, blank, failed };

// Reads one row, [begin, end) without its line feed (a carriage return before
// it is allowed). `row` is its number among the data rows, from 1, or 0 when
// it is not known. On a failure `problem` says where in the row and why; on a
// skip `why` says why. HYG's row of Sol gives the Sun.
row_outcome read_table_row(const table_layout& layout, const char* begin, const char* end, long long row,
                           table_star& out, skip_reason& why, row_problem& problem);

// The name of a star of this table known only by its row's number: what
// read_table_row gives a row it is not told the number of, once it is known.
void name_by_row(const table_layout& layout, long long row, star_name& name);

#endif
