// Helpers more than one test file needs: the magnitude a star shows at a
// distance and the absolute magnitude that shows a given one, worked out in
// double on their own; catalog lines built from their columns; a file's text;
// a scratch directory removed with everything in it.
#ifndef STARHOP_TESTS_SHARED_CHECKS_H
#define STARHOP_TESTS_SHARED_CHECKS_H

#include "lens.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>

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

// A fresh directory under /tmp, removed with everything in it at the end of
// the scope; `path` is empty when none could be made.
struct temp_dir {
    std::filesystem::path path;
    temp_dir()
    {
        char pattern[] = "/tmp/starhop-test-XXXXXX";
        if (mkdtemp(pattern)) path = pattern;
    }
    ~temp_dir()
    {
        std::error_code ignored;
        if (!path.empty()) std::filesystem::remove_all(path, ignored);
    }
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    // Writes `text` to `name` inside the directory and gives its full path.
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(path / name, std::ios::binary) << text;
        return (path / name).string();
    }
};

#endif
