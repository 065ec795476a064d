// One line of the tab-separated catalog read into its values: name, apparent
// magnitude, distance, class word, right ascension and declination, exactly
// as formatted stream extraction reads them, from bytes in memory.
#ifndef STARHOP_CATALOG_LINE_H
#define STARHOP_CATALOG_LINE_H

#include "engine/stars.h"

#include <cstddef>

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
extern const char* const column_names[];

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

// Reads the next line into `out`. Returns failed, leaving `out` as it was,
// when the input ends inside the line or a number column does not start with
// a number; `why` then tells where. The caller skips the rest of the line.
// Returns more when the line needs bytes not yet at hand: the caller reads it
// again from its start once they are.
outcome read_line(cursor& c, line_values& out, failure& why);

// A line of nothing but spaces, tabs and carriage returns is passed over.
// Returns done when one was, more when the input ends inside such a stretch
// and more may follow, and failed when the line holds something to read (or
// the input ends in white space, which the line read then fails on quietly).
outcome skip_blank_line(cursor& c);

// ignore(200, '\n'): the rest of the line and its line feed.
outcome skip_rest(cursor& c);

#endif
