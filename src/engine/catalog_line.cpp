// The catalog line, byte by byte: each column as the stream operation that
// first read it would take it.
#include "engine/catalog_line.h"

#include "engine/decimal.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <locale.h>
#include <string>

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

const char* const column_names[] = {"name", "magnitude", "distance", "class", "right ascension", "declination"};

namespace {

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
    if (significant > 15 || scale < -largest_exact_power || scale > largest_exact_power) return false;
    const double d = scaled_by_ten(digits, scale);
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

} // namespace

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

outcome skip_blank_line(cursor& c)
{
    const char* p = c.p;
    while (p < c.end && (*p == ' ' || *p == '\t' || *p == '\r')) ++p;
    if (p == c.end) return c.last ? outcome::failed : outcome::more;
    if (*p != '\n') return outcome::failed;
    c.p = p + 1;
    return outcome::done;
}

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
