#include "synthetic_catalog.h"

#include "engine/lens.h"
#include "engine/stars.h"

#include <algorithm>
#include <cmath>
#include <iterator>

namespace {

const double pi = 3.141592653589793;

// The Galaxy as seen from here: the Sun 26,000 light years from the centre,
// stars in an exponential disc (scale length 8,500, scale height 1,000).
const double sun_from_centre = 26000.0;
const double disc_length = 8500.0;
const double disc_height = 1000.0;

// Galactic to equatorial directions: the transpose of the usual equatorial to
// galactic rotation.
const double to_equatorial[3][3] = {
    {-0.0548755604, +0.4941094279, -0.8676661490},
    {-0.8734370902, -0.4448296300, -0.1980763734},
    {-0.4838350155, +0.7469822445, +0.4559837762},
};

// Kinds of star by how they shine: share of the disc, absolute magnitude
// (mean and spread) and a class text.
struct kind {
    double share, mean, spread;
    const char* spectral_class;
};
const kind disc_kinds[] = {
    {0.40, 11.0, 1.5, "M4V"}, {0.25, 8.5, 1.0, "M0V"}, {0.15, 6.5, 0.8, "K3V"}, {0.10, 4.8, 0.6, "G2V"},
    {0.05, 3.3, 0.6, "F5V"},  {0.03, 1.5, 0.7, "A2V"}, {0.015, 0.5, 1.0, "K0III"}, {0.005, -3.0, 1.5, "B3V"},
};
const char* const giant_classes[] = {"B1Ia", "O9I", "M2Iab", "K5III", "A0Ia"};

const long long near_stars = 300;                // within 100 light years

char* put_int(char* p, long long v, int width)  // zero-padded to `width` digits
{
    char digits[24];
    int n = 0;
    do digits[n++] = (char)('0' + v % 10), v /= 10;
    while (v > 0);
    for (int i = n; i < width; ++i) *p++ = '0';
    while (n > 0) *p++ = digits[--n];
    return p;
}

// v with `decimals` digits after the point, rounded half away from zero.
char* put_fixed(char* p, double v, int decimals)
{
    long long scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    long long units = std::llround(std::fabs(v) * scale);
    if (v < 0 && units > 0) *p++ = '-';
    p = put_int(p, units / scale, 1);
    if (decimals > 0) {
        *p++ = '.';
        p = put_int(p, units % scale, decimals);
    }
    return p;
}

// "hh mm ss.ss" of an angle given in hours or degrees, with a sign when asked.
char* put_sexagesimal(char* p, double v, int decimals, bool sign)
{
    if (sign) *p++ = v < 0 ? '-' : '+';
    long long scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    const long long units = std::llround(std::fabs(v) * 3600.0 * scale);
    const long long seconds = units / scale;
    p = put_int(p, seconds / 3600, 2);
    *p++ = ' ';
    p = put_int(p, seconds / 60 % 60, 2);
    *p++ = ' ';
    p = put_int(p, seconds % 60, 2);
    *p++ = '.';
    return put_int(p, units % scale, decimals);
}

} // namespace

synthetic_catalog::synthetic_catalog(long long count, std::uint64_t seed) : state_(seed), count_(count) {}

// splitmix64: small, fast and the same everywhere.
double synthetic_catalog::uniform()
{
    std::uint64_t z = (state_ += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    z ^= z >> 31;
    return (double)(z >> 11) * 0x1.0p-53;
}

double synthetic_catalog::normal()
{
    const double u = 1.0 - uniform(), v = uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(2.0 * pi * v);
}

bool synthetic_catalog::next(synthetic_star& out)
{
    if (made_ >= count_) return false;
    const long long i = made_++;
    // Near stars and giants at evenly spread places in the catalog, the disc
    // everywhere else.
    const long long nears = std::min(near_stars, count_);
    const long long giants = count_ / 2000 + 20;
    const bool near = i * nears / count_ != (i + 1) * nears / count_;
    const bool giant = !near && (i + count_ / 3) * giants / count_ != (i + count_ / 3 + 1) * giants / count_;
    double absolute, gx, gy, gz;                // galactic frame, x towards the centre
    if (near || giant) {
        const double cos_theta = 2.0 * uniform() - 1.0, phi = 2.0 * pi * uniform();
        const double sin_theta = std::sqrt(1.0 - cos_theta * cos_theta);
        const double d = near ? 1.0 + 99.0 * std::cbrt(uniform()) : 100.0 * std::pow(200.0, uniform());
        gx = d * sin_theta * std::cos(phi);
        gy = d * sin_theta * std::sin(phi);
        gz = d * cos_theta;
        absolute = near ? 1.5 + 2.5 * normal() : -5.0 + 1.5 * normal();
        const kind* closest = disc_kinds;                    // the class that fits the brightness
        for (const kind& k : disc_kinds)
            if (std::fabs(k.mean - absolute) < std::fabs(closest->mean - absolute)) closest = &k;
        out.spectral_class = near ? closest->spectral_class : giant_classes[(int)(uniform() * 5)];
        out.name = (near ? "Near " : "Giant ") + std::to_string(i);
    } else {
        const double r = -disc_length * std::log((1.0 - uniform()) * (1.0 - uniform()));  // R e^(-R/h)
        const double angle = 2.0 * pi * uniform();
        const double height = disc_height * std::log(1.0 - uniform()) * (uniform() < 0.5 ? -1 : 1);
        gx = sun_from_centre + r * std::cos(angle);
        gy = r * std::sin(angle);
        gz = height;
        double pick = uniform();
        const kind* k = disc_kinds;
        while (pick >= k->share && k + 1 < std::end(disc_kinds)) pick -= k++->share;
        absolute = k->mean + k->spread * normal();
        out.spectral_class = k->spectral_class;
        out.name = "Gen " + std::to_string(i);
    }
    const double ex = to_equatorial[0][0] * gx + to_equatorial[0][1] * gy + to_equatorial[0][2] * gz;
    const double ey = to_equatorial[1][0] * gx + to_equatorial[1][1] * gy + to_equatorial[1][2] * gz;
    const double ez = to_equatorial[2][0] * gx + to_equatorial[2][1] * gy + to_equatorial[2][2] * gz;
    out.distance = std::sqrt(ex * ex + ey * ey + ez * ez);
    out.declination = std::asin(ez / out.distance) * 180.0 / pi;
    double ra = std::atan2(ey, ex) * 12.0 / pi;
    out.right_ascension = ra < 0 ? ra + 24.0 : ra;
    out.apparent_magnitude = absolute + magnitude_shift(out.distance);
    return true;
}

std::string catalog_line(const synthetic_star& s)
{
    char text[160];
    char* p = text;
    const size_t name_length = std::min<size_t>(s.name.size(), star_name_length);
    p = std::copy(s.name.data(), s.name.data() + name_length, p);
    *p++ = '\t', *p++ = '\t';
    p = put_fixed(p, s.apparent_magnitude, 2);
    *p++ = '\t', *p++ = '\t';
    p = put_fixed(p, s.distance, 4);
    *p++ = '\t', *p++ = '\t';
    for (const char* c = s.spectral_class; *c; ++c) *p++ = *c;
    *p++ = '\t', *p++ = '\t';
    p = put_sexagesimal(p, s.right_ascension, 2, false);
    *p++ = '\t', *p++ = '\t';
    p = put_sexagesimal(p, s.declination, 1, true);
    *p++ = '\n';
    return std::string(text, p);
}

bool write_synthetic_catalog(std::FILE* out, long long count, std::uint64_t seed)
{
    synthetic_catalog catalog(count, seed);
    synthetic_star s;
    std::string chunk;
    chunk.reserve(1 << 20);
    while (catalog.next(s)) {
        chunk += catalog_line(s);
        if (chunk.size() > (1 << 20) - 200) {
            if (std::fwrite(chunk.data(), 1, chunk.size(), out) != chunk.size()) return false;
            chunk.clear();
        }
    }
    return std::fwrite(chunk.data(), 1, chunk.size(), out) == chunk.size() && std::fflush(out) == 0;
}
