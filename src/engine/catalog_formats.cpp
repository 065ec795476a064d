// Comma-separated star tables: the header that tells which table a file is,
// the splitting of a row into its fields, and each table's columns turned
// into what a star record holds.
#include "engine/catalog_formats.h"

#include "engine/decimal.h"
#include "engine/lens.h"
#include "engine/sky.h"
#include "base/text.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const char* const skip_reason_text[skip_reasons] = {"that cannot be read", "without a usable distance",
                                                    "without a magnitude", "without a position"};

namespace {

// One field of a row: its text between the commas, inside the quotes when
// it was quoted; `doubled` when a quoted text holds "" for a quote.
struct field_text {
    const char* begin;
    const char* end;
    bool quoted, doubled;
};

// The commas of a row in order, found sixteen bytes at a time: fields are
// short and of every length, so a search byte by byte would mistake where
// one ends at nearly every field.
class comma_finder {
public:
    comma_finder(const char* at, const char* end) : end_(end) { look_at(at); }
    // The next comma not yet given, or the end.
    const char* next()
    {
        while (commas_ == 0) {
            if (end_ - block_ <= 16) return end_;
            look_at(block_ + 16);
        }
        const char* comma = block_ + __builtin_ctz(commas_);
        commas_ &= commas_ - 1;
        return comma;
    }
    // Forgets the commas before `at` (a quoted field's commas are its text).
    void look_at(const char* at)
    {
        block_ = at;
        if (end_ - at >= 16) {
            commas_ = commas_in(at);
            return;
        }
        char last[16] = {};                                     // no reading past the row's end
        std::memcpy(last, at, (std::size_t)(end_ - at));
        commas_ = commas_in(last);
    }

private:
    // One bit a byte of the sixteen at `p`, set for a comma.
    static unsigned commas_in(const char* p)
    {
#if defined(__SSE2__)
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return (unsigned)_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(',')));
#else
        unsigned bits = 0;
        for (int i = 0; i < 16; ++i) bits |= (unsigned)(p[i] == ',') << i;
        return bits;
#endif
    }
    const char* end_;
    const char* block_;                                         // the sixteen bytes looked at
    unsigned commas_;                                           // those of their commas not yet given
};

// Splits [begin, end) at its commas into fields until field `wanted` is
// found. Returns how many were found (at most wanted + 1), or -1 when a
// quoted field is not closed before the end; `unclosed` then is its number
// and `opening` its opening quote.
int split(const char* begin, const char* end, int wanted, std::vector<field_text>& fields, int& unclosed,
          const char*& opening)
{
    fields.clear();
    comma_finder commas(begin, end);
    const char* p = begin;
    for (;;) {
        const char* q = p;
        while (q < end && *q == ' ') ++q;                       // blanks before an opening quote
        if (q < end && *q == '"') {
            opening = q;
            field_text f{++q, end, true, false};
            for (;;) {
                const char* quote = static_cast<const char*>(std::memchr(q, '"', (size_t)(end - q)));
                if (!quote) {
                    unclosed = (int)fields.size();
                    return -1;
                }
                if (quote + 1 < end && quote[1] == '"') {       // "" stands for one quote
                    f.doubled = true;
                    q = quote + 2;
                    continue;
                }
                f.end = quote;
                q = quote + 1;
                break;
            }
            commas.look_at(q);
            q = commas.next();                                  // anything after the closing quote
            fields.push_back(f);
        } else {
            q = commas.next();
            field_text& f = fields.emplace_back();              // written in place: a copy of a
            f.begin = p;                                        // just-built one waits for its flags
            f.end = q;
        }
        if (q == end || (int)fields.size() > wanted) return (int)fields.size();
        p = q + 1;
    }
}

inline bool is_blank(char c) { return c == ' ' || c == '\t'; }

void trim(const char*& begin, const char*& end)
{
    while (begin < end && is_blank(*begin)) ++begin;
    while (end > begin && is_blank(end[-1])) --end;
}

// The field's text: inside its quotes as it stands, "" made one quote; else
// with blanks at both ends removed.
std::string text_of(const field_text& f)
{
    const char* b = f.begin;
    const char* e = f.end;
    if (!f.quoted) trim(b, e);
    if (!f.doubled) return std::string(b, e);
    std::string s;
    for (const char* p = b; p < e; ++p) {
        s += *p;
        if (*p == '"' && p + 1 < e && p[1] == '"') ++p;
    }
    return s;
}

bool same_word(const char* begin, const char* end, const char* word)
{
    const std::size_t n = std::strlen(word);
    if ((std::size_t)(end - begin) != n) return false;
    for (std::size_t i = 0; i < n; ++i)
        if ((begin[i] | 0x20) != word[i]) return false;          // ASCII letters in either case
    return true;
}

enum class number { value, missing, text };

// [begin, end) as a decimal number when it is quick to convert exactly: up
// to 15 digits times a power of ten of at most 22 is one correctly rounded
// operation on exact operands, which is the double from_chars gives. False
// for any other text, which from_chars then decides on.
inline bool quick_number(const char* p, const char* end, double& out)
{
    const bool negative = p < end && *p == '-';
    if (negative) ++p;
    std::uint64_t digits = 0;
    int scale = 0;
    bool any = false;
    for (; p < end && (unsigned)(*p - '0') < 10; ++p, any = true) {
        if (digits >= 100000000000000) return false;           // a 16th digit
        digits = digits * 10 + (unsigned)(*p - '0');
    }
    if (p < end && *p == '.')
        for (++p; p < end && (unsigned)(*p - '0') < 10; ++p, any = true, --scale) {
            if (digits >= 100000000000000) return false;
            digits = digits * 10 + (unsigned)(*p - '0');
        }
    if (!any) return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool down = p < end && *p == '-';
        if (p < end && (*p == '-' || *p == '+')) ++p;
        int power = 0, power_digits = 0;
        for (; p < end && (unsigned)(*p - '0') < 10 && power_digits < 3; ++p, ++power_digits)
            power = power * 10 + (*p - '0');
        if (power_digits == 0) return false;
        scale += down ? -power : power;
    }
    if (p != end || scale < -largest_exact_power || scale > largest_exact_power) return false;
    const double v = scaled_by_ten(digits, scale);
    out = negative ? -v : v;
    return true;
}

// A decimal number filling the field (blanks around it allowed). Empty,
// null and nan mean a value the source does not have.
number read_number(const field_text& f, double& out)
{
    const char* b = f.begin;
    const char* e = f.end;
    trim(b, e);
    if (b == e || same_word(b, e, "null") || same_word(b, e, "nan")) return number::missing;
    const char* p = b;
    if (*p == '+' && p + 1 < e && *(p + 1) != '-' && *(p + 1) != '+') ++p;   // from_chars takes no plus
    if (quick_number(p, e, out)) return number::value;
    double v;
    const std::from_chars_result r = std::from_chars(p, e, v, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != e || !std::isfinite(v)) return number::text;
    out = v;
    return number::value;
}

// The field's text without its blanks (unquoted) or quotes.
void text_range(const field_text& f, const char*& b, const char*& e)
{
    b = f.begin;
    e = f.end;
    if (!f.quoted) trim(b, e);
}

bool is_empty(const field_text* f)
{
    if (!f) return true;
    const char *b, *e;
    text_range(*f, b, e);
    return b == e;
}

// A star's name put together piece by piece, without allocating (a row is
// read in well under a microsecond), then cut to what a record holds.
class name_text {
public:
    void add(const char* s)
    {
        for (; *s; ++s) put(*s);
    }
    void add(const field_text& f)
    {
        const char *b, *e;
        text_range(f, b, e);
        for (const char* p = b; p < e; ++p) {
            put(*p);
            if (f.doubled && *p == '"' && p + 1 < e && p[1] == '"') ++p;   // "" is one quote
        }
    }
    void add(long long n)
    {
        char digits[24];
        std::snprintf(digits, sizeof digits, "%lld", n);
        add(digits);
    }
    // At most star_name_length bytes, cut before a UTF-8 character rather than inside it;
    // control bytes become spaces.
    void store(star_name& name) const
    {
        std::size_t n = std::min<std::size_t>(n_, sizeof name - 1);
        if (n < n_)
            while (n > 0 && ((unsigned char)bytes_[n] & 0xc0) == 0x80) --n;
        for (std::size_t i = 0; i < n; ++i) name[i] = (unsigned char)bytes_[i] < 0x20 ? ' ' : bytes_[i];
        name[n] = '\0';
    }

private:
    void put(char c)
    {
        if (n_ < sizeof bytes_) bytes_[n_++] = c;
    }
    char bytes_[star_name_length + 8];          // enough to tell where to cut
    std::size_t n_ = 0;
};

// What stood in a field, shortened for a message.
std::string shown(const field_text& f)
{
    return quoted(text_of(f));
}

std::string column_named(const table_layout& layout, int column)
{
    return printable(layout.header[column]) + " column (field " + std::to_string(column + 1) + ")";
}

// The class letter for a colour index: bluer stars are hotter.
const char* class_for_colour(double bp_rp)
{
    return bp_rp < -0.35 ? "O" : bp_rp < 0.0 ? "B" : bp_rp < 0.4 ? "A" : bp_rp < 0.75 ? "F"
         : bp_rp < 1.0   ? "G" : bp_rp < 1.8 ? "K" : "M";
}

// The layout a header line's fields name, when they name one of the tables.
bool layout_of(const std::vector<field_text>& fields, table_layout& layout)
{
    table_layout l;
    for (const field_text& f : fields) {
        std::string name = text_of(f);
        for (char& c : name) c = (char)std::tolower((unsigned char)c);
        l.header.push_back(name);
    }
    auto find = [&](const char* name) {
        for (std::size_t i = 0; i < l.header.size(); ++i)
            if (l.header[i] == name) return (int)i;
        return -1;
    };
    l.ra = find("ra");
    l.dec = find("dec");
    if (l.ra < 0 || l.dec < 0) return false;
    const int parallax = find("parallax"), g = find("phot_g_mean_mag");
    const int dist = find("dist"), mag = find("mag");
    if (parallax >= 0 && g >= 0) {
        l.kind = table_kind::gaia;
        l.parallax = parallax;
        l.magnitude = g;
        l.parallax_over_error = find("parallax_over_error");
        l.source_id = find("source_id");
        l.bp_rp = find("bp_rp");
    } else if (dist >= 0 && mag >= 0) {
        l.kind = table_kind::hyg;
        l.dist = dist;
        l.magnitude = mag;
        l.proper = find("proper");
        l.bf = find("bf");
        l.hip = find("hip");
        l.hd = find("hd");
        l.id = find("id");
        l.spect = find("spect");
    } else {
        return false;
    }
    for (int c : {l.ra, l.dec, l.magnitude, l.dist, l.proper, l.bf, l.hip, l.hd, l.id, l.spect, l.parallax,
                  l.parallax_over_error, l.source_id, l.bp_rp})
        l.last_used = std::max(l.last_used, c);
    layout = l;
    return true;
}

} // namespace

void name_by_row(const table_layout& layout, long long row, star_name& name)
{
    name_text text;
    text.add(layout.kind == table_kind::gaia ? "Gaia " : "HYG ");
    text.add(row);
    std::memset(name, 0, sizeof name);
    text.store(name);
}

recognition recognise_table(const char* begin, const char* end, bool whole, table_layout& layout,
                            std::size_t& data_start, long long& lines_before)
{
    const char* p = begin;
    if (end - p >= 3 && std::memcmp(p, "\xef\xbb\xbf", 3) == 0) p += 3;   // a byte order mark
    else if (!whole && end - p < 3 && std::memcmp(p, "\xef\xbb\xbf", (std::size_t)(end - p)) == 0) return recognition::more;
    long long feeds = 0;
    for (;;) {
        const char* feed = static_cast<const char*>(std::memchr(p, '\n', end - p));
        if (!feed && !whole) return recognition::more;
        const char* line_end = feed ? feed : end;
        if (p < end && *p == '#') {                              // a comment or metadata line
            if (!feed) return recognition::not_table;
            p = feed + 1;
            ++feeds;
            continue;
        }
        const char* stop = line_end;
        if (stop > p && stop[-1] == '\r') --stop;
        std::vector<field_text> fields;
        int unclosed;
        const char* opening;
        if (split(p, stop, 1 << 30, fields, unclosed, opening) < 2) return recognition::not_table;
        if (!layout_of(fields, layout)) return recognition::not_table;
        data_start = (std::size_t)((feed ? feed + 1 : end) - begin);
        lines_before = feeds + (feed ? 1 : 0);
        return recognition::table;
    }
}

namespace {

// The numbers a row's star is made of, and which of them the row has.
struct row_numbers {
    double ra = 0, dec = 0, magnitude = 0, distance = 0, over_error = 0, colour = 0;
    number has_ra, has_dec, has_magnitude, has_distance, has_over_error, has_colour;
};

// An empty line or a comment; [begin, end) without its carriage return.
bool is_blank_row(const char* begin, const char* end)
{
    const char* first = begin;
    while (first < end && is_blank(*first)) ++first;
    return first == end || *first == '#';
}

// Where `at` stands in the row that starts at `begin`, in characters from 1
// (a UTF-8 character's continuation bytes do not count), as a text editor
// shows it.
long column_at(const char* begin, const char* at)
{
    long column = 1;
    for (const char* p = begin; p < at; ++p) column += ((unsigned char)*p & 0xc0) != 0x80;
    return column;
}

// The row's fields as far as the last column used; false, with `problem`
// told, when a quote is not closed or the row is too short.
bool split_row(const table_layout& layout, const char* begin, const char* end, std::vector<field_text>& fields,
               row_problem& problem)
{
    int unclosed = 0;
    const char* opening = begin;
    const int found = split(begin, end, layout.last_used, fields, unclosed, opening);
    if (found < 0) {
        problem.text = "a quoted field is not closed before the line ends, in field " + std::to_string(unclosed + 1);
        problem.column = column_at(begin, opening);
        return false;
    }
    if (found <= layout.last_used) {
        int needed = layout.last_used;                           // the first column used that is missing
        for (int c : {layout.ra, layout.dec, layout.magnitude, layout.dist, layout.proper, layout.bf, layout.hip,
                      layout.hd, layout.id, layout.spect, layout.parallax, layout.parallax_over_error,
                      layout.source_id, layout.bp_rp})
            if (c >= found && c < needed) needed = c;
        problem.text = "the row has " + std::to_string(found) + (found == 1 ? " field" : " fields") +
                       ", too few for its " + column_named(layout, needed);
        problem.column = column_at(begin, end);                  // where the next field would start
        return false;
    }
    return true;
}

// The fields of a row, and where the row starts, for telling where a field stands.
struct row_fields {
    const char* begin;
    const std::vector<field_text>& fields;
};

// The number in `column` (missing when the table has no such column); false,
// with `problem` told, when it holds text that is not a number.
bool number_at(const table_layout& layout, const row_fields& row, int column, double& v, number& got,
               row_problem& problem)
{
    if (column < 0) {
        got = number::missing;
        return true;
    }
    const field_text& f = row.fields[(std::size_t)column];
    got = read_number(f, v);
    if (got != number::text) return true;
    problem.text = column_named(layout, column) + " holds " + shown(f) + ", not a number";
    const char *b, *e;
    text_range(f, b, e);
    problem.column = column_at(row.begin, b);
    return false;
}

// Every number of the row, so that text in any of them makes the row one
// that cannot be read, even a row that would be skipped.
bool read_numbers(const table_layout& layout, const row_fields& row, row_numbers& n, row_problem& problem)
{
    const bool gaia = layout.kind == table_kind::gaia;
    return number_at(layout, row, layout.ra, n.ra, n.has_ra, problem) &&
           number_at(layout, row, layout.dec, n.dec, n.has_dec, problem) &&
           number_at(layout, row, gaia ? layout.parallax : layout.dist, n.distance, n.has_distance, problem) &&
           number_at(layout, row, layout.magnitude, n.magnitude, n.has_magnitude, problem) &&
           number_at(layout, row, layout.parallax_over_error, n.over_error, n.has_over_error, problem) &&
           number_at(layout, row, layout.bp_rp, n.colour, n.has_colour, problem);
}

// The star's distance in light years, when the row gives a usable one; the
// Sun's is one astronomical unit.
bool light_years_of(const table_layout& layout, const row_numbers& n, bool sun, double& light_years)
{
    if (sun) {
        light_years = astronomical_unit;
        return true;
    }
    if (layout.kind == table_kind::gaia) {
        // A parallax known to less than a fifth of itself says little about
        // the distance.
        const bool usable = n.has_distance == number::value && n.distance > 0 &&
                            (layout.parallax_over_error < 0 ||
                             (n.has_over_error == number::value && n.over_error >= least_parallax_over_error));
        if (!usable) return false;
        light_years = light_years_per_mas / n.distance;
        return true;
    }
    if (n.has_distance != number::value || !(n.distance > 0) || n.distance >= unknown_hyg_distance) return false;
    light_years = n.distance * light_years_per_parsec;
    return true;
}

// Whether the row gives no star, and why; else its distance in light years.
bool skipped_row(const table_layout& layout, const row_numbers& n, bool sun, double& light_years, skip_reason& why)
{
    if (n.has_ra != number::value || n.has_dec != number::value) why = no_position;
    else if (!light_years_of(layout, n, sun, light_years)) why = no_distance;
    else if (n.has_magnitude != number::value) why = no_magnitude;
    else return false;
    return true;
}

// Where the star is and how bright, as the record holds it, and the values
// it came from.
void place_star(bool gaia, const row_numbers& n, double light_years, table_star& out)
{
    const double alpha = n.ra * (gaia ? radians_per_degree : radians_per_hour);
    const double delta = n.dec * radians_per_degree;
    out.magnitude = n.magnitude;
    out.light_years = light_years;
    out.ra_hours = gaia ? n.ra / 15 : n.ra;
    out.dec_degrees = n.dec;
    out.distance = (float)light_years;
    out.abs_magnitude = absolute_magnitude((float)n.magnitude, out.distance);
    out.position = catalog_position(light_years, alpha, delta);
}

const field_text* field_at(const std::vector<field_text>& fields, int column)
{
    return column < 0 ? nullptr : &fields[(std::size_t)column];
}

// HYG's row of the Sun: the proper name Sol at the distance 0.
bool is_hyg_sun(const table_layout& layout, const std::vector<field_text>& fields, const row_numbers& n)
{
    const field_text* proper = field_at(fields, layout.proper);
    if (layout.kind != table_kind::hyg || !proper || n.has_distance != number::value || n.distance != 0) return false;
    const char *b, *e;
    text_range(*proper, b, e);
    return (std::size_t)(e - b) == std::strlen(hyg_sun_name) && std::memcmp(b, hyg_sun_name, (std::size_t)(e - b)) == 0;
}

// A catalogue number of 0 means the star has none there.
bool has_catalogue_number(const field_text* f)
{
    if (is_empty(f)) return false;
    const char *b, *e;
    text_range(*f, b, e);
    return !(e - b == 1 && *b == '0');
}

// `prefix` and the field's text; without the field, the row's number, or
// when that is not known either, a mark that the caller gives it.
void add_numbered(name_text& name, const char* prefix, const field_text* f, long long row, table_star& out)
{
    name.add(prefix);
    if (!is_empty(f)) name.add(*f);
    else if (row > 0) name.add(row);
    else out.named_by_row = true;
}

// A Gaia star is named by its source, its class by its colour.
void name_gaia_star(const table_layout& layout, const std::vector<field_text>& fields, const row_numbers& n,
                    long long row, name_text& name, table_star& out)
{
    const field_text* id = field_at(fields, layout.source_id);
    if (!is_empty(id)) add_numbered(name, "DR3 ", id, row, out);
    else add_numbered(name, "Gaia ", nullptr, row, out);
    std::strcpy(out.class_word, n.has_colour == number::value ? class_for_colour(n.colour) : "");
}

// A HYG star by its proper name, its Bayer or Flamsteed name, its HIP or HD
// number or its HYG id, in that order, and the Sun by the name the shipped
// catalog gives it; its class is the spectrum's start.
void name_hyg_star(const table_layout& layout, const std::vector<field_text>& fields, bool sun, long long row,
                   name_text& name, table_star& out)
{
    const field_text *proper = field_at(fields, layout.proper), *bf = field_at(fields, layout.bf);
    const field_text *hip = field_at(fields, layout.hip), *hd = field_at(fields, layout.hd);
    const field_text* id = field_at(fields, layout.id);
    if (sun) name.add(sun_name);
    else if (!is_empty(proper)) name.add(*proper);
    else if (!is_empty(bf)) name.add(*bf);
    else if (has_catalogue_number(hip)) add_numbered(name, "HIP ", hip, row, out);
    else if (has_catalogue_number(hd)) add_numbered(name, "HD ", hd, row, out);
    else add_numbered(name, "HYG ", is_empty(id) ? nullptr : id, row, out);
    std::size_t k = 0;
    if (const field_text* spect = field_at(fields, layout.spect)) {
        const char *b, *e;
        text_range(*spect, b, e);
        for (; b < e && k < 3; ++b) out.class_word[k++] = *b;
    }
    out.class_word[k] = '\0';
}

} // namespace

row_outcome read_table_row(const table_layout& layout, const char* begin, const char* end, long long row,
                           table_star& out, skip_reason& why, row_problem& problem)
{
    if (end > begin && end[-1] == '\r') --end;
    if (is_blank_row(begin, end)) return row_outcome::blank;
    thread_local std::vector<field_text> fields;
    row_numbers n;
    if (!split_row(layout, begin, end, fields, problem) || !read_numbers(layout, row_fields{begin, fields}, n, problem))
        return row_outcome::failed;
    const bool sun = is_hyg_sun(layout, fields, n);
    double light_years = 0;
    if (skipped_row(layout, n, sun, light_years, why)) return row_outcome::skipped;

    const bool gaia = layout.kind == table_kind::gaia;
    place_star(gaia, n, light_years, out);
    name_text name;
    out.named_by_row = false;
    if (gaia) name_gaia_star(layout, fields, n, row, name, out);
    else name_hyg_star(layout, fields, sun, row, name, out);
    name.store(out.name);
    return row_outcome::star;
}
