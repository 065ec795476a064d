#include "catalog_convert.h"

#include "engine/catalog_line.h"
#include "engine/gzip_reader.h"
#include "engine/load_report.h"
#include "base/text.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <istream>
#include <ostream>
#include <streambuf>
#include <vector>

const char unknown_class[] = "?";

namespace {

// Source columns, 0-based, end exclusive, as read off the file itself.
struct field { std::size_t begin, end; };
constexpr field ra_field        {0, 9};     // hhmmss.ss
constexpr field dec_field       {10, 19};   // sddmmss.s
constexpr field pm_ra_field     {20, 29};   // mas/yr, signed
constexpr field pm_dec_field    {29, 38};
constexpr field parallax_field  {38, 45};   // mas
constexpr field magnitude_field {45, 51};   // visual, right-aligned, may be negative
constexpr field colour_field    {51, 56};   // B-V
constexpr field type_field      {56, 58};   // spectral type, two characters
constexpr std::size_t fixed_length = 60;    // flags end here; names may follow
constexpr std::size_t flags_begin  = 60;    // variability data, then ", designation, common name"


std::string cut(const std::string& line, field f) { return line.substr(f.begin, f.end - f.begin); }

bool is_digits(const std::string& s, std::size_t begin, std::size_t end)
{
    for (std::size_t i = begin; i < end; ++i)
        if (!std::isdigit((unsigned char)s[i])) return false;
    return true;
}

// A fixed-width decimal number: leading blanks, an optional sign, digits with
// an optional fraction, and nothing after.
bool read_number(const std::string& text, double& value)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t digits = 0;
    for (; i < text.size() && std::isdigit((unsigned char)text[i]); ++i) ++digits;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && std::isdigit((unsigned char)text[i]); ++i) ++digits;
    if (digits == 0 || i != text.size()) return false;
    value = std::strtod(text.c_str(), nullptr);
    return true;
}

int two_digits(const std::string& s, std::size_t at) { return (s[at] - '0') * 10 + (s[at + 1] - '0'); }

// Blanks at both ends removed and every inner run of blanks made one space,
// so "xi  UMa" reads "xi UMa". Tabs would split the viewer's columns.
std::string tidy(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const bool blank = c == ' ' || c == '\t';
        if (blank && (out.empty() || out.back() == ' ')) continue;
        out += blank ? ' ' : c;
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

std::string fixed(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// "dd mm ss.ff" from a count of seconds (of time or of arc) with `decimals`
// decimals, that is of hundredths for 2.
std::string sexagesimal(long units, int decimals)
{
    const long per_second = decimals == 2 ? 100 : 10;
    const long seconds = units / per_second, fraction = units % per_second;
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, "%02ld %02ld %02ld.%0*ld", seconds / 3600, seconds / 60 % 60, seconds % 60,
                  decimals, fraction);
    return buffer;
}

} // namespace

source_line read_source_line(const std::string& line, catalog_star& star, std::string& problem)
{
    if (line.empty() || line[0] == '#') return source_line::comment;
    if (line.size() < fixed_length) {
        problem = "line too short (" + std::to_string(line.size()) + " characters, want at least 60)";
        return source_line::bad;
    }
    if (line[9] != ' ' || line[19] != ' ' || line[58] != ' ') {
        problem = "columns out of place";
        return source_line::bad;
    }

    const std::string ra = cut(line, ra_field), dec = cut(line, dec_field);
    if (!is_digits(ra, 0, 6) || ra[6] != '.' || !is_digits(ra, 7, 9)) {
        problem = "right ascension is not hhmmss.ss: \"" + ra + "\"";
        return source_line::bad;
    }
    // A few positions were rounded up to 60 seconds; they are carried into
    // the minutes below, anything beyond that is an error.
    const long ra_centiseconds =
        ((two_digits(ra, 0) * 60L + two_digits(ra, 2)) * 60 + two_digits(ra, 4)) * 100 + two_digits(ra, 7);
    if (two_digits(ra, 0) > 23 || two_digits(ra, 2) > 59 || ra.compare(4, 5, "60.00") > 0) {
        problem = "right ascension out of range: \"" + ra + "\"";
        return source_line::bad;
    }
    if ((dec[0] != '+' && dec[0] != '-') || !is_digits(dec, 1, 7) || dec[7] != '.' || !is_digits(dec, 8, 9)) {
        problem = "declination is not sddmmss.s: \"" + dec + "\"";
        return source_line::bad;
    }
    const long dec_deciseconds =
        ((two_digits(dec, 1) * 60L + two_digits(dec, 3)) * 60 + two_digits(dec, 5)) * 10 + (dec[8] - '0');
    if (two_digits(dec, 3) > 59 || dec.compare(5, 4, "60.0") > 0 || dec_deciseconds > 90L * 3600 * 10) {
        problem = "declination out of range: \"" + dec + "\"";
        return source_line::bad;
    }

    double unused, parallax, magnitude;
    // The proper motions and colour are not converted; checking them still
    // catches a line whose columns have slipped.
    if (!read_number(cut(line, pm_ra_field), unused) || !read_number(cut(line, pm_dec_field), unused)) {
        problem = "proper motion is not a number";
        return source_line::bad;
    }
    if (!read_number(cut(line, parallax_field), parallax)) {
        problem = "parallax is not a number: \"" + cut(line, parallax_field) + "\"";
        return source_line::bad;
    }
    if (!read_number(cut(line, magnitude_field), magnitude)) {
        problem = "magnitude is not a number: \"" + cut(line, magnitude_field) + "\"";
        return source_line::bad;
    }
    if (!read_number(cut(line, colour_field), unused)) {
        problem = "colour index is not a number: \"" + cut(line, colour_field) + "\"";
        return source_line::bad;
    }

    // After the flags: ", designation" and then ", common name", both optional.
    std::string designation, common;
    const std::size_t first_comma = line.find(',', flags_begin);
    if (first_comma != std::string::npos) {
        const std::size_t second_comma = line.find(',', first_comma + 1);
        designation = line.substr(first_comma + 1, second_comma == std::string::npos
                                                       ? std::string::npos
                                                       : second_comma - first_comma - 1);
        if (second_comma != std::string::npos) common = line.substr(second_comma + 1);
    }
    designation = tidy(designation);
    common = tidy(common);

    star.name = (common.empty() ? designation : common).substr(0, max_name_length);
    while (!star.name.empty() && star.name.back() == ' ') star.name.pop_back();  // a cut may end in a blank
    star.magnitude = magnitude;
    star.distance = parallax > 0 ? light_years_per_mas / parallax : 0;
    star.spectral_class = tidy(cut(line, type_field));
    if (star.spectral_class.empty()) star.spectral_class = unknown_class;
    star.right_ascension = sexagesimal(ra_centiseconds % (24L * 360000), 2);  // 23 59 60.00 is 00 00 00.00
    star.declination = dec[0] + sexagesimal(dec_deciseconds, 1);
    return parallax > 0 ? source_line::star : source_line::no_parallax;
}

std::string catalog_line(const catalog_star& star)
{
    // Skipped columns stay empty; the distance keeps four decimals so the
    // nearest stars (a few light years) keep five significant digits.
    const std::string distance = star.distance < 0.01 ? fixed(star.distance, 9) : fixed(star.distance, 4);
    return star.name + "\t\t" + fixed(star.magnitude, 2) + "\t\t" + distance + "\t\t" + star.spectral_class +
           "\t\t" + star.right_ascension + "\t\t" + star.declination;
}

catalog_star sun()
{
    catalog_star s;
    s.name = sun_name;
    s.magnitude = -26.74;
    s.distance = astronomical_unit;
    s.spectral_class = "G2V";
    s.right_ascension = "00 00 00.00";      // the March equinox
    s.declination = "+00 00 00.0";
    return s;
}

conversion_counts convert_catalog(std::istream& source, const std::string& source_name,
                                  std::ostream& out, std::ostream& errors)
{
    conversion_counts counts;
    // The Sun outshines every star, and the source runs from the brightest
    // down, so it goes first.
    out << catalog_line(sun()) << '\n';
    ++counts.lines_written;
    ++counts.named;

    std::string line, problem;
    long number = 0;
    while (std::getline(source, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        catalog_star star;
        switch (read_source_line(line, star, problem)) {
        case source_line::comment: break;
        case source_line::bad:
            errors << source_name << ':' << number << ": " << problem << '\n';
            ++counts.bad_lines;
            break;
        case source_line::no_parallax:
            ++counts.stars_read;
            ++counts.no_parallax;
            break;
        case source_line::star:
            ++counts.stars_read;
            out << catalog_line(star) << '\n';
            ++counts.lines_written;
            if (!star.name.empty()) ++counts.named;
            break;
        }
    }
    return counts;
}

namespace {

// A gzip file's bytes, decompressed, as a stream.
class gzip_stream : public std::streambuf {
public:
    explicit gzip_stream(std::unique_ptr<std::ifstream> file)
        : file_(std::move(file)), gzip_([this](char* into, std::size_t n) {
              file_->read(into, (std::streamsize)n);
              return (std::size_t)file_->gcount();
          }), buffer_(1 << 16)
    {
    }
    std::string damage() const { return gzip_.damage(); }

protected:
    int_type underflow() override
    {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        const std::size_t got = gzip_.read(buffer_.data(), buffer_.size());
        if (got == 0) return traits_type::eof();
        setg(buffer_.data(), buffer_.data(), buffer_.data() + got);
        return traits_type::to_int_type(*gptr());
    }

private:
    std::unique_ptr<std::ifstream> file_;
    gzip_reader gzip_;
    std::vector<char> buffer_;
};

// An istream that owns its stream buffer.
class owning_istream : public std::istream {
public:
    explicit owning_istream(std::unique_ptr<gzip_stream> buffer) : std::istream(buffer.get()), buffer_(std::move(buffer)) {}

private:
    std::unique_ptr<gzip_stream> buffer_;
};

// "hh mm ss.ss" and "+dd mm ss.s" from decimal hours and degrees.
std::string hours_text(double hours)
{
    const long centiseconds = std::lround(std::fmod(hours, 24.0) * 360000.0);
    return sexagesimal(((centiseconds % 8640000) + 8640000) % 8640000, 2);
}

std::string degrees_text(double degrees)
{
    const long deciseconds = std::lround(std::fabs(degrees) * 36000.0);
    return (degrees < 0 && deciseconds > 0 ? "-" : "+") + sexagesimal(deciseconds, 1);
}

} // namespace

std::unique_ptr<std::istream> open_source(const std::string& path)
{
    std::unique_ptr<std::ifstream> file(new std::ifstream(path, std::ios::binary));
    if (!*file) return nullptr;
    char mark[2];
    file->read(mark, 2);
    const bool gzip = starts_gzip(mark, (std::size_t)file->gcount());
    file->clear();
    file->seekg(0);
    if (!gzip) return std::unique_ptr<std::istream>(std::move(file));
    return std::unique_ptr<std::istream>(new owning_istream(std::unique_ptr<gzip_stream>(new gzip_stream(std::move(file)))));
}

namespace {

bool blank(const std::string& line)
{
    for (char c : line)
        if (c != ' ' && c != '\t' && c != '\r') return false;
    return true;
}

// What the source list and the tables pass over before their first line:
// '#' lines, the first of them perhaps after a UTF-8 byte order mark.
bool comment(const std::string& line, long long number)
{
    return (number == 1 && line.compare(0, 4, "\xef\xbb\xbf#") == 0) || (!line.empty() && line[0] == '#');
}

// Why `line` does not read whole as the viewer reads a catalog line, `fed`
// when a line feed followed it; empty when it does.
std::string catalog_line_problem(const std::string& line, bool fed)
{
    const std::string text = fed ? line + '\n' : line;
    cursor c{text.data(), text.data() + text.size(), true};
    line_values values{};
    failure why;
    const outcome got = read_line(c, values, why);
    if (got == outcome::done) return std::string();
    const std::string column = column_names[why.column];
    if (got == outcome::line_ended || !why.text)
        return "the line ends before its last column, in its " + column + " column";
    return "its " + column + " column holds " + column_quoted(why.text, text.data() + text.size()) +
           (why.too_large ? ", a number too large" : ", not a number");
}

} // namespace

source_kind recognise_source(std::istream& source, table_layout& layout, long long& lines_before, refusal& why)
{
    // The lines read so far, each with whether a line feed ended it.
    std::vector<std::string> lines;
    std::vector<bool> fed;
    const auto read = [&]() {
        std::string line;
        if (!std::getline(source, line)) return false;
        lines.push_back(line);
        fed.push_back(!source.eof());
        return true;
    };
    const auto refuse = [&](long long line, const std::string& reason) {
        why.line = line;
        why.reason = reason;
        return source_kind::refused;
    };

    // The leading comment lines and the header, as the loader would see them.
    std::string head;
    while (read()) {
        head += lines.back();
        if (fed.back()) head += '\n';
        if (!comment(lines.back(), (long long)lines.size()) || !fed.back()) break;
    }
    std::size_t data_start;
    if (recognise_table(head.data(), head.data() + head.size(), true, layout, data_start, lines_before) ==
        recognition::table) {
        for (std::size_t i = (std::size_t)lines_before; i < lines.size() || read(); ++i)
            if (!blank(lines[i])) return source_kind::table;
        return refuse(0, "not a catalog: a table header and no row");
    }
    if (lines.empty()) return refuse(0, "is empty, not a catalog");

    // The first line that is neither blank nor a comment tells the other two
    // apart: ours has tabs between its columns, the fixed-column list none.
    std::size_t first = 0;
    for (; first < lines.size() || read(); ++first)
        if (!blank(lines[first]) && !comment(lines[first], (long long)first + 1)) break;
    if (first == lines.size()) return refuse(0, "not a catalog: only comments and blank lines");
    for (std::size_t i = 0; i <= first; ++i)
        if (lines[i].find('\0') != std::string::npos) return refuse((long long)i + 1, "not a catalog: a NUL byte, so binary data");

    if (lines[first].find('\t') != std::string::npos) {
        // The viewer reads no comments: its first line that is not blank must be a star.
        std::size_t star = 0;
        while (blank(lines[star])) ++star;
        const std::string problem = catalog_line_problem(lines[star], fed[star]);
        if (!problem.empty()) return refuse((long long)star + 1, "not a catalog: as a line of starhop's format, " + problem);
        return source_kind::ours;
    }
    std::string line = lines[first], problem;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    catalog_star star;
    if (read_source_line(line, star, problem) == source_line::bad)
        return refuse((long long)first + 1, "not a catalog: as a line of the Hipparcos/Tycho list, " + problem);
    return source_kind::fixed_columns;
}

table_counts convert_table(std::istream& source, const table_layout& layout, long long lines_before,
                           const std::string& source_name, std::ostream& out, std::ostream& errors)
{
    table_counts counts;
    rows_skipped skipped;
    std::string line;
    long long number = lines_before;
    long long row = 0;
    while (std::getline(source, line)) {
        ++number;
        table_star star;
        skip_reason why = unreadable;
        row_problem problem;
        const row_outcome got = read_table_row(layout, line.data(), line.data() + line.size(),
                                               row + 1, star, why, problem);
        if (got == row_outcome::blank) continue;
        ++row;
        ++counts.rows;
        if (got != row_outcome::star) {
            if (got == row_outcome::failed) why = unreadable;
            if (skipped.names_next(why))
                errors << skipped_row_line(printable(source_name), skipped_row{number - 1, why, problem}) << '\n';
            skipped.add(why, number - 1, problem);
            ++counts.skipped[why];
            continue;
        }
        catalog_star s;
        s.name = star.name;                                     // control bytes, tabs among them, are spaces
        s.magnitude = star.magnitude;
        s.distance = star.light_years;
        s.spectral_class = star.class_word[0] ? star.class_word : unknown_class;
        s.right_ascension = hours_text(star.ra_hours);
        s.declination = degrees_text(star.dec_degrees);
        out << catalog_line(s) << '\n';
        ++counts.lines_written;
    }
    return counts;
}

std::string source_damage(std::istream& source)
{
    const gzip_stream* gzip = dynamic_cast<const gzip_stream*>(source.rdbuf());
    return gzip ? gzip->damage() : std::string();
}
