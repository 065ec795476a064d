// What the tests share: the magnitude law worked out in double on its own;
// the default window's projection; key presses as the keyboard hands them
// out; catalog lines built from their columns; a file's text, a scratch
// directory and a scratch file; the command line parsed, and the built
// program run without a display; vectors compared within a tolerance, a
// flight's state checked for what it may never become, and
// bitmaps pixel for pixel, each failing at the caller's line with what
// differs; a catalog loaded from text, handed out a few bytes at a time, or
// through the file-name entry with what it said; a star list made from names; text compressed as gzip; XPM pictures
// and PNG files read back into pixels.
#ifndef STARHOP_TESTS_TEST_SUPPORT_H
#define STARHOP_TESTS_TEST_SUPPORT_H

#include "base/input.h"
#include "engine/catalog.h"
#include "engine/lens.h"
#include "engine/stars.h"
#include "model/camera.h"
#include "model/command_line.h"
#include "base/vector.h"

#include <algorithm>
#include <allegro.h>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <map>
#include <png.h>
#include <random>
#include <sstream>
#include <stdexcept>
#include <streambuf>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>
#include <vector>
#include <zlib.h>

// The magnitude a star of absolute magnitude `absolute` shows from `distance`
// light years: the law in double, rounded once to a float.
inline float seen_from(float absolute, float distance)
{
    return (float)((double)absolute + 2.0 * std::log((double)distance / reference_distance) / std::log(magnitude_ratio));
}

// The absolute magnitude that shows `seen` from `distance` light years; it can
// be a float off, so callers that need it exact step it with seen_from.
inline float absolute_showing(float seen, float distance)
{
    return (float)((double)seen - 2.0 * std::log((double)distance / reference_distance) / std::log(magnitude_ratio));
}

// One catalog line from the columns that are read; the skipped ones stay empty.
inline std::string catalog_line(const std::string& name, const std::string& magnitude, const std::string& distance,
                                const std::string& spectral_class, const std::string& ra, const std::string& dec)
{
    return name + "\t\t" + magnitude + "\t\t" + distance + "\t\t" + spectral_class + "\t\t" + ra + "\t\t" +
           dec + "\n";
}

// A line that loads, under any name: magnitude 1.5 at 25 light years, class G2V.
inline std::string good_line(const std::string& name)
{
    return catalog_line(name, "1.50", "25.00", "G2V", "06 30 00", "+45 30 00");
}

// The bytes of a file; empty when it cannot be read.
inline std::string file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end of the scope; a test that cannot make one, or
// write into it, fails there.
struct temp_dir {
    std::filesystem::path path;
    temp_dir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "starhop-test-XXXXXX").string();
        if (!mkdtemp(&pattern[0])) throw std::runtime_error("mkdtemp: " + std::string(std::strerror(errno)));
        path = pattern;
    }
    ~temp_dir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    // The full path of `name` inside the directory.
    std::string file(const std::string& name) const { return (path / name).string(); }
    // Writes `text` to `name` inside the directory and gives its full path.
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream out(path / name, std::ios::binary);
        out << text;
        if (!out) throw std::runtime_error("cannot write " + file(name));
        return file(name);
    }
    std::string read(const std::string& name) const { return file_text(file(name)); }   // empty when missing
    // The names of the files in it, sorted.
    std::vector<std::string> names() const
    {
        std::vector<std::string> all;
        for (const auto& e : std::filesystem::directory_iterator(path)) all.push_back(e.path().filename().string());
        std::sort(all.begin(), all.end());
        return all;
    }
};

// A key press in `in` as the library's keyboard buffer would hand it out,
// also marking the key as gone down.
inline void press(frame_input& in, int code, int ascii = 0)
{
    if (in.press_count < frame_input::most_presses) in.presses[in.press_count++] = key_press{code, ascii};
    if (code >= 0 && code < frame_input::key_count) in.went_down[code] = true;
}

// The pixel the view-space point `p` lands on through the lens of the window
// opened by default (640 by 480, zoom 0): where the tests' stars are drawn.
inline void project(vector p, int* column, int* row)
{
    static const lens standard;
    standard.project(p, column, row);
}

// A fresh file of given text under the system's temporary directory, removed
// at the end of the scope; a test that cannot write it fails there. Made
// thousands of times by some tests, so it is one file, not a directory.
class temp_file {
public:
    explicit temp_file(const std::string& text)
        : path_((std::filesystem::temp_directory_path() / "starhop-test-XXXXXX").string())
    {
        const int fd = mkstemp(&path_[0]);
        const bool written = fd >= 0 && ::write(fd, text.data(), text.size()) == (ssize_t)text.size();
        if (fd >= 0) ::close(fd);
        if (!written) {
            if (fd >= 0) ::unlink(path_.c_str());
            throw std::runtime_error("cannot write " + path_);
        }
    }
    ~temp_file() { ::unlink(path_.c_str()); }
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;
    const char* path() const { return path_.c_str(); }

private:
    std::string path_;
};

// The arguments as the program gets them, after its name.
inline command_line parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "starhop");
    return parse_command_line((int)args.size(), args.data());
}

#ifdef STARHOP_BINARY                           // the test programs know it; the fuzz targets do not
// Runs the built program with `args` (shell words) and no DISPLAY, its standard
// error to `err_file` and its standard output to `out_file`, in the working
// directory `folder` when one is given; its exit status.
inline int run_without_display(const std::string& args, const std::string& err_file,
                               const std::string& out_file = "/dev/null", const std::string& folder = "")
{
    const std::string command = (folder.empty() ? std::string() : "cd '" + folder + "' && ") +
                                "env -u DISPLAY '" + STARHOP_BINARY + "' " + args + " >'" + out_file + "' 2>'" +
                                err_file + "' </dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

inline ::testing::AssertionResult same_vector(vector got, vector want, float tol = 0)
{
    const vector d = got - want;
    if (std::fabs(d.x) <= tol && std::fabs(d.y) <= tol && std::fabs(d.z) <= tol)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "got (" << got.x << ", " << got.y << ", " << got.z
                                         << "), want (" << want.x << ", " << want.y << ", "
                                         << want.z << "), off by " << d.x << ' ' << d.y << ' ' << d.z;
}

// Angle between two directions, radians.
inline double angle_between(vector a, vector b)
{
    const double c = dot(a, b) / ((double)a.length() * (double)b.length());
    return std::acos(c > 1 ? 1 : c < -1 ? -1 : c);
}

// Three axes of unit length, at right angles, the third the cross product of the
// first two (down & forward = right), each within tol.
inline ::testing::AssertionResult orthonormal_right_handed(vector forward, vector down, vector right,
                                                           double tol = 1e-5)
{
    const vector r = down & forward;
    const double errors[] = {(double)forward.length() - 1.0, (double)down.length() - 1.0,
                             (double)right.length() - 1.0,   dot(forward, down), dot(forward, right),
                             dot(down, right), (double)r.x - (double)right.x,
                             (double)r.y - (double)right.y,  (double)r.z - (double)right.z};
    for (double e : errors)
        if (!(std::fabs(e) <= tol)) return ::testing::AssertionFailure() << "axes off by " << e;
    return ::testing::AssertionSuccess();
}

// What a flight may never break: a finite position within the farthest the
// camera goes, a finite velocity, and axes that are an orthonormal frame.
inline ::testing::AssertionResult sound_flight(const camera& c)
{
    const vector p = c.camera_position, v = c.velocity;
    for (float x : {p.x, p.y, p.z, v.x, v.y, v.z})
        if (!std::isfinite(x))
            return ::testing::AssertionFailure() << "position (" << p.x << ", " << p.y << ", " << p.z << "), velocity ("
                                                 << v.x << ", " << v.y << ", " << v.z << ")";
    const double away = length(dvector(p));
    if (!(away <= farthest_from_earth)) return ::testing::AssertionFailure() << away << " light years from Earth";
    return orthonormal_right_handed(c.forward, c.down, c.right, 1e-5);
}

// How many pixels differ between two bitmaps in [x0, x1) by [y0, y1); the
// whole of the first bitmap when no box is given.
inline int pixels_differing(BITMAP* a, BITMAP* b, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1)
{
    if (x1 < 0) x1 = a->w;
    if (y1 < 0) y1 = a->h;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) n += getpixel(a, x, y) != getpixel(b, x, y);
    return n;
}

// Both 32-bit bitmaps of one size, every pixel alike.
inline ::testing::AssertionResult same_bitmap(BITMAP* got, BITMAP* want)
{
    if (got->w != want->w || got->h != want->h)
        return ::testing::AssertionFailure() << "sizes differ: " << got->w << "x" << got->h << " against "
                                             << want->w << "x" << want->h;
    long differ = 0;
    int fx = -1, fy = -1;
    for (int y = 0; y < got->h; ++y) {
        if (std::memcmp(got->line[y], want->line[y], got->w * sizeof(std::uint32_t)) == 0) continue;
        for (int x = 0; x < got->w; ++x)
            if (getpixel(got, x, y) != getpixel(want, x, y) && differ++ == 0) fx = x, fy = y;
    }
    if (differ == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differ << " pixels differ, first at (" << fx << ", " << fy
                                         << "): got " << std::hex << getpixel(got, fx, fy) << ", want "
                                         << getpixel(want, fx, fy);
}

// Records or pages that fail after `allowed` more, for the length of a scope.
struct failing_allocations {
    explicit failing_allocations(long long allowed) { fail_allocations_after(allowed); }
    ~failing_allocations() { fail_allocations_after(-1); }
    failing_allocations(const failing_allocations&) = delete;
    failing_allocations& operator=(const failing_allocations&) = delete;
};

// Whether this build runs under AddressSanitizer, which reserves far more
// address space than any limit on it would leave.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool under_address_sanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool under_address_sanitizer = true;
#else
constexpr bool under_address_sanitizer = false;
#endif
#else
constexpr bool under_address_sanitizer = false;
#endif
constexpr const char* no_limit_under_sanitizer =
    "a limit on the address space cannot be used under AddressSanitizer; the injected failures cover this";

// The process's address space held now, in bytes.
inline std::size_t address_space_now()
{
    std::size_t kib = 0;
    if (FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, f))
            if (std::sscanf(line, "VmSize: %zu kB", &kib) == 1) break;
        std::fclose(f);
    }
    return kib * 1024;
}

// A limit of the address space to what is held now and `more` bytes, lifted
// at the end of the scope.
class address_space_limit {
public:
    explicit address_space_limit(std::size_t more)
    {
        getrlimit(RLIMIT_AS, &before_);
        rlimit tight = before_;
        tight.rlim_cur = address_space_now() + more;
        set_ = setrlimit(RLIMIT_AS, &tight) == 0;
    }
    ~address_space_limit() { setrlimit(RLIMIT_AS, &before_); }
    address_space_limit(const address_space_limit&) = delete;
    address_space_limit& operator=(const address_space_limit&) = delete;
    bool set() const { return set_; }

private:
    rlimit before_;
    bool set_ = false;
};

// Catalog lines "Star 0", "Star 1", ...: magnitude 5, distance 10 plus the
// number, class G2V, right ascension and declination from the number.
inline std::string numbered_catalog(int count)
{
    std::string text;
    char line[128];
    for (int i = 0; i < count; ++i) {
        std::snprintf(line, sizeof line, "Star %d\t\t5.0\t\t%d\t\tG2V\t\t%02d %02d 00\t\t%+03d 00 00\n", i, 10 + i,
                      i % 24, i % 60, i % 90 - 45);
        text += line;
    }
    return text;
}

// A star list built from names, or star by star, freed at the end of the scope.
class named_star_list {
public:
    named_star_list() = default;
    named_star_list(std::initializer_list<const char*> names)
    {
        for (const char* n : names) add(n, vector(1, 2, 3), 1.0f);
    }
    ~named_star_list() { owner.first()->next = head; }               // the records from head on go with owner
    named_star_list(const named_star_list&) = delete;
    named_star_list& operator=(const named_star_list&) = delete;

    star_type* add(const char* name, vector position, float abs_magnitude)
    {
        star_type* s = new star_type;
        s->star_set(name, abs_magnitude, position, "G2V");
        (head ? tail->next : head) = s;
        tail = s;
        ++count;
        return s;
    }
    const star_type* at(int i) const
    {
        const star_type* s = head;
        while (i-- > 0) s = s->next;
        return s;
    }

    star_type* head = nullptr;
    star_type* tail = nullptr;
    int count = 0;

private:
    star_list owner;                                // its first record is not part of the list
};

// The names of stars, in their order.
inline std::vector<std::string> names_of(const std::vector<const star_type*>& stars)
{
    std::vector<std::string> out;
    for (const star_type* s : stars) out.push_back(s->name);
    return out;
}

// A load's outcome: the result, the closing line, the explanations and a copy
// of every record in order (the list itself is freed).
// A stream buffer that hands out its text a few bytes at a time, so that
// lines and numbers are cut at every place by the loader's refills.
class trickle : public std::streambuf {
public:
    trickle(const std::string& text, unsigned seed) : text_(text), rng_(seed)
    {
        char* p = const_cast<char*>(text_.data());
        setg(p, p, p);
    }

protected:
    int_type underflow() override
    {
        char* at = egptr();
        char* end = const_cast<char*>(text_.data()) + text_.size();
        if (at == end) return traits_type::eof();
        const size_t piece = std::uniform_int_distribution<size_t>(1, 7)(rng_);
        setg(at, at, at + std::min<size_t>(piece, end - at));
        return traits_type::to_int_type(*at);
    }

private:
    const std::string& text_;
    std::mt19937 rng_;
};

struct catalog_load {
    int result = -1;
    std::string report, errors;
    std::vector<star_type> stars;
};

// Copies the records of `list` into `into.stars`.
inline void keep_records(const star_list& list, int result, catalog_load& into)
{
    into.result = result;
    if (result > 0) into.stars.push_back(*list.first());
    for (const star_type* s = list.first()->next; s; s = s->next) into.stars.push_back(*s);
}

// `text` read as a stream (named stars.txt in the explanations), or as the
// file at `path` when one is given, cut into pieces of `piece_bytes` read by
// `threads` threads.
inline catalog_load load_catalog_text(const std::string& text, const char* path = nullptr, long long piece_bytes = 0,
                                      unsigned threads = 0)
{
    catalog_load l;
    star_list list;
    std::ostringstream report, errors;
    load_notes notes;
    notes.errors = &errors;
    if (piece_bytes) notes.piece_bytes = piece_bytes;
    notes.threads = threads;
    int n;
    if (path) {
        n = load_catalog(path, list.first(), report, notes);
    } else {
        std::istringstream in(text);
        n = load_catalog(in, list.first(), report, notes);
    }
    keep_records(list, n, l);
    l.report = report.str();
    l.errors = errors.str();
    return l;
}

// `text` read as a stream handed out a few bytes at a time (trickle).
inline catalog_load load_catalog_trickled(const std::string& text, unsigned seed)
{
    catalog_load l;
    star_list list;
    std::ostringstream report, errors;
    load_notes notes;
    notes.errors = &errors;
    trickle pieces(text, seed);
    std::istream in(&pieces);
    keep_records(list, load_catalog(in, list.first(), report, notes), l);
    l.report = report.str();
    l.errors = errors.str();
    return l;
}

// The file at `path` through the entry the program itself calls, which gives
// its closing line on standard output and its explanations on standard error:
// both caught. The records stay on `list`.
inline catalog_load load_catalog_file(const std::string& path, star_list& list)
{
    catalog_load l;
    std::ostringstream report, errors;
    std::streambuf* const out = std::cout.rdbuf(report.rdbuf());
    std::streambuf* const err = std::cerr.rdbuf(errors.rdbuf());
    l.result = load_catalog(path.c_str(), list.first(), 6.0f);
    std::cout.rdbuf(out);
    std::cerr.rdbuf(err);
    l.report = report.str();
    l.errors = errors.str();
    return l;
}

// The same with the records copied out and the list freed.
inline catalog_load load_catalog_file(const std::string& path)
{
    star_list list;
    catalog_load l = load_catalog_file(path, list);
    keep_records(list, l.result, l);
    return l;
}

// `text` as one gzip member.
inline std::string gzip_of(const std::string& text)
{
    z_stream z{};
    if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::string();
    std::string out(deflateBound(&z, (uLong)text.size()) + 64, '\0');
    z.next_in = (Bytef*)text.data();
    z.avail_in = (uInt)text.size();
    z.next_out = (Bytef*)&out[0];
    z.avail_out = (uInt)out.size();
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// An XPM picture read back from its rows: every pixel 0xRRGGBB, or `none`
// where the picture is transparent. Empty (width 0) when the rows are not XPM
// whose colours are all written "c #RRGGBB" or "c None".
struct xpm_picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
};

inline xpm_picture read_xpm(const char* const* rows, std::uint32_t none)
{
    int width, height, colours, chars, end = 0;
    if (std::sscanf(rows[0], "%d %d %d %d%n", &width, &height, &colours, &chars, &end) != 4 || rows[0][end] ||
        width <= 0 || height <= 0 || colours <= 0 || chars <= 0)
        return {};
    std::map<std::string, std::uint32_t> palette;
    for (int i = 1; i <= colours; ++i) {
        const std::string row = rows[i];
        if (row.size() < (size_t)chars) return {};
        const std::string code = row.substr(0, chars), value = row.substr(chars);
        unsigned rgb;
        if (value == " c None") palette[code] = none;
        else if (value.size() == 10 && std::sscanf(value.c_str(), " c #%6x%n", &rgb, &end) == 1 && end == 10)
            palette[code] = rgb;
        else return {};
    }
    if (palette.size() != (size_t)colours) return {};                // a code named twice
    xpm_picture picture;
    for (int y = 0; y < height; ++y) {
        const std::string row = rows[1 + colours + y];
        if (row.size() != (size_t)width * chars) return {};
        for (int x = 0; x < width; ++x) {
            const auto found = palette.find(row.substr((size_t)x * chars, chars));
            if (found == palette.end()) return {};
            picture.pixels.push_back(found->second);
        }
    }
    picture.width = width;
    picture.height = height;
    return picture;
}

// A PNG file's pixels, each 0xRRGGBB; empty when it cannot be read.
struct png_pixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;
    std::uint32_t at(int x, int y) const { return rgb[(std::size_t)y * width + x]; }
};

inline png_pixels read_png(const std::string& path)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    png_pixels p;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return p;
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> bytes(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, bytes.data(), 0, nullptr)) return p;
    p.width = (int)image.width;
    p.height = (int)image.height;
    for (std::size_t i = 0; i + 2 < bytes.size(); i += 3)
        p.rgb.push_back((std::uint32_t)bytes[i] << 16 | (std::uint32_t)bytes[i + 1] << 8 | bytes[i + 2]);
    return p;
}

// The picture holds the bitmap's colours, pixel for pixel, at any colour depth.
inline ::testing::AssertionResult same_picture(const png_pixels& got, BITMAP* want)
{
    if (got.width != want->w || got.height != want->h)
        return ::testing::AssertionFailure() << "sizes differ: " << got.width << "x" << got.height << " against "
                                             << want->w << "x" << want->h;
    const int depth = bitmap_color_depth(want);
    long differ = 0;
    int fx = -1, fy = -1;
    std::uint32_t fw = 0;
    for (int y = 0; y < want->h; ++y)
        for (int x = 0; x < want->w; ++x) {
            const int c = getpixel(want, x, y);
            const std::uint32_t rgb = (std::uint32_t)getr_depth(depth, c) << 16 |
                                      (std::uint32_t)getg_depth(depth, c) << 8 | (std::uint32_t)getb_depth(depth, c);
            if (got.at(x, y) != rgb && differ++ == 0) fx = x, fy = y, fw = rgb;
        }
    if (differ == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differ << " pixels differ, first at (" << fx << ", " << fy << "): got "
                                         << std::hex << got.at(fx, fy) << ", want " << fw;
}

#endif
