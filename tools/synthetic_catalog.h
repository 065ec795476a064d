// Synthetic star catalogs in the viewer's line format, for benchmarks and
// tests: the same seed and count always give the same bytes.
#ifndef STARHOP_TOOLS_SYNTHETIC_CATALOG_H
#define STARHOP_TOOLS_SYNTHETIC_CATALOG_H

#include <cstdint>
#include <cstdio>
#include <string>

// One made-up star before it is written out.
struct synthetic_star {
    std::string name;
    const char* spectral_class;
    double apparent_magnitude;
    double distance;                        // light years
    double right_ascension;                 // hours, 0 to 24
    double declination;                     // degrees, -90 to 90
};

// Makes `count` stars from `seed`, in catalog order. Most lie in a thin disc
// around a galactic centre far from the Sun, faint as seen from Earth; a few
// hundred bright ones lie within 100 light years; a few bright giants lie in
// every direction out to 20,000 light years.
class synthetic_catalog {
public:
    synthetic_catalog(long long count, std::uint64_t seed);
    bool next(synthetic_star& out);         // false after the last star

private:
    double uniform();                       // [0, 1)
    double normal();
    std::uint64_t state_;
    long long count_, made_ = 0;
};

// One catalog line with its line feed, as the converter writes them.
std::string catalog_line(const synthetic_star& s);

// Writes the whole catalog; returns false when writing fails.
bool write_synthetic_catalog(std::FILE* out, long long count, std::uint64_t seed);

#endif
