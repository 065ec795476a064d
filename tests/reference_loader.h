// The catalog loader as first written: formatted extraction from a stream, one
// operation per column. Kept as the yardstick the fast reader is compared with;
// it is not used by the program.
#ifndef STARHOP_TESTS_REFERENCE_LOADER_H
#define STARHOP_TESTS_REFERENCE_LOADER_H

#include "engine/catalog.h"
#include "engine/stars.h"

#include <cctype>
#include <cmath>
#include <iomanip>
#include <istream>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>

namespace reference {

struct line_values {
    char name[25];
    char class_word[16];
    float magnitude, distance;
    float ra_hours, ra_minutes, ra_seconds;
    float dec_degrees, dec_minutes, dec_seconds;
};

// Stream extraction stores 0 when the text does not start a number; keep the
// value as it was instead.
inline bool read_number(std::istream& in, float& out)
{
    float t;
    if (!(in >> t)) return false;
    out = t;
    return true;
}

inline void skip_column(std::istream& in, std::streamsize limit = 100) { in.ignore(limit, '\t'); }

// Reads the next line into `out`. Returns false, leaving `out` as it was, when
// the file ends inside the line or a number column does not start a number.
inline bool read_line(std::istream& in, line_values& out, bool skip_rest = true)
{
    const std::streamsize no_limit = std::numeric_limits<std::streamsize>::max();
    line_values v = out;                                        // fill a copy, commit at the end
    in.getline(v.name, sizeof v.name, '\t');
    if (in.fail() && in.gcount() == (std::streamsize)sizeof v.name - 1) {
        in.clear();                                             // a long name keeps its first 24
        in.ignore(no_limit, '\t');                              // characters; skip the rest
    }
    skip_column(in);                                            // column 2
    read_number(in, v.magnitude);
    skip_column(in);
    skip_column(in);                                            // column 4
    read_number(in, v.distance);
    skip_column(in);
    skip_column(in);                                            // column 6
    in >> std::setw(sizeof v.class_word) >> v.class_word;       // first word, 15 characters at most
    while (in.good() && !std::isspace(in.peek()) && in.peek() != EOF) in.get();  // rest of a long word
    skip_column(in);
    skip_column(in);                                            // column 8
    read_number(in, v.ra_hours) && read_number(in, v.ra_minutes) && read_number(in, v.ra_seconds);
    skip_column(in);
    skip_column(in);                                            // column 10
    read_number(in, v.dec_degrees) && read_number(in, v.dec_minutes) && read_number(in, v.dec_seconds);
    if (in.fail()) return false;
    if (skip_rest) in.ignore(200, '\n');                        // the rest of the line
    out = v;
    return true;
}

// One line read as above, but within its own line: a line that ends before its
// last column fails as the end of the file would, and a line of nothing but
// spaces, tabs and carriage returns is passed over. What follows the last
// column is skipped as before, from the main stream.
inline bool read_own_line(std::istream& in, line_values& out)
{
    for (;;) {
        const std::streampos start = in.tellg();
        std::string line;
        const bool feed = (bool)std::getline(in, line);
        if (!feed) return false;                                    // nothing left
        const bool ends_with_feed = !in.eof();
        if (line.find_first_not_of(" \t\r") == std::string::npos && ends_with_feed) continue;
        std::istringstream own(line);
        line_values v = out;
        if (!read_line(own, v, false)) {
            in.setstate(std::ios::failbit);
            return false;
        }
        in.clear();
        const std::streamoff taken = own.eof() ? (std::streamoff)line.size() : (std::streamoff)own.tellg();
        in.seekg(start + taken);
        in.ignore(200, '\n');                                      // the rest of the line
        out = v;
        return true;
    }
}

// Fills `first` and appends a record per further good line; the closing line
// goes to `report`. Returns the number of records filled.
inline int load_catalog(std::istream& in, star_type* first, std::ostream& report)
{
    static const double log_ratio = std::log(magnitude_ratio);
    line_values v{};                                            // nothing read yet: zeros, no class
    star_type* current = first;
    int count = 0;
    while (!in.fail() && read_own_line(in, v)) {
        const float abs_magnitude =
            (float)((double)v.magnitude - 2.0 * std::log((double)v.distance / reference_distance) / log_ratio);
        const float alpha = AZ_RAD(v.ra_hours, v.ra_minutes, v.ra_seconds);
        const float delta = ALT_RAD(v.dec_degrees, v.dec_minutes, v.dec_seconds);
        const double d = v.distance;
        const float z = (float)(d * std::sin((double)delta));
        const float r = (float)(d * std::cos((double)delta));
        const float x = (float)((double)r * std::cos((double)alpha));
        const float y = (float)((double)r * std::sin((double)alpha));
        if (count > 0) current = current->next = new star_type;
        current->star_set(v.name, abs_magnitude, vector(x, y, z), v.class_word);
        ++count;
    }
    report << "Fail after reading " << current->name << " at Distance " << v.distance << std::endl;
    return count;
}

} // namespace reference

#endif
