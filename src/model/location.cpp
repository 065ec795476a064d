// The location line: written from the camera, read back field by field, and
// the camera put where it says.
#include "model/location.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

const char* const location_word = "starhop-at:1";

namespace {
constexpr double axis_tolerance = 1e-4;        // unit length and right angles, within this
constexpr int field_count = 6;                 // after the word: three vectors, three settings

std::string quoted(const std::string& s) { return "'" + s + "'"; }

// One float, the whole of `text`, as strtof reads it (so "%.9g" comes back to
// the same bits); NaN and infinities, also from overflow, are refused.
bool read_float(const std::string& text, float& out)
{
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const float v = std::strtof(text.c_str(), &end);
    if (*end != '\0' || end == text.c_str()) return false;  // not a number, or more after it
    if (!std::isfinite(v)) return false;                     // NaN, infinity, or too large
    out = v;
    return true;
}

bool read_int(const std::string& text, int& out)
{
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (*end != '\0' || errno == ERANGE || v < -1000000 || v > 1000000) return false;
    out = (int)v;
    return true;
}

// "X,Y,Z" into `out`; `what` names the field in the problem.
bool read_vector(const std::string& text, const char* what, vector& out, std::string& problem)
{
    std::vector<std::string> parts;
    std::string::size_type from = 0;
    for (;;) {
        const std::string::size_type comma = text.find(',', from);
        parts.push_back(text.substr(from, comma == std::string::npos ? comma : comma - from));
        if (comma == std::string::npos) break;
        from = comma + 1;
    }
    if (parts.size() != 3) {
        problem = std::string(what) + " needs three numbers separated by commas, not " + quoted(text);
        return false;
    }
    float v[3];
    for (int i = 0; i < 3; ++i) {
        if (read_float(parts[i], v[i])) continue;
        problem = std::string(what) + " holds " + quoted(parts[i]) + ", which is not a finite number";
        return false;
    }
    out = vector(v[0], v[1], v[2]);
    return true;
}

// "name=VALUE": the value, or false when the name is not there.
bool value_of(const std::string& field, const char* name, std::string& value, std::string& problem)
{
    const std::string prefix = std::string(name) + "=";
    if (field.compare(0, prefix.size(), prefix) != 0) {
        problem = "expected " + prefix + "..., found " + quoted(field);
        return false;
    }
    value = field.substr(prefix.size());
    return true;
}

bool unit_axis(vector v, const char* what, std::string& problem)
{
    const double measured = length(dvector(v));
    if (std::fabs(measured - 1.0) <= axis_tolerance) return true;
    char text[160];
    std::snprintf(text, sizeof text, "%s is not of unit length: its length is %.9g", what, measured);
    problem = text;
    return false;
}
} // namespace

location location_of(const camera& c)
{
    location l;
    l.position = c.camera_position;
    l.forward = c.forward;
    l.down = c.down;
    l.zoom_step = c.optics.zoom_step();
    l.exposure_steps = c.optics.exposure_steps();
    l.speed_level = c.speed_level;
    return l;
}

std::string format_location(const location& l)
{
    const int e = l.exposure_steps;            // half magnitudes: one decimal is exact
    char text[320];
    std::snprintf(text, sizeof text, "%s %.9g,%.9g,%.9g %.9g,%.9g,%.9g %.9g,%.9g,%.9g zoom=%d exposure=%s%d.%d speed=%d",
                  location_word,
                  (double)l.position.x, (double)l.position.y, (double)l.position.z,
                  (double)l.forward.x, (double)l.forward.y, (double)l.forward.z,
                  (double)l.down.x, (double)l.down.y, (double)l.down.z,
                  l.zoom_step, e < 0 ? "-" : "+", std::abs(e) / 2, std::abs(e) % 2 * 5, l.speed_level);
    return text;
}

bool parse_location(const std::string& text, location& out, std::string& problem)
{
    std::istringstream in(text);
    std::vector<std::string> fields;
    for (std::string f; in >> f;) fields.push_back(f);
    if (!fields.empty() && fields[0].compare(0, 11, "starhop-at:") == 0) {
        if (fields[0] != location_word) {
            problem = "the line is of version " + quoted(fields[0].substr(11)) + ", only version 1 can be read";
            return false;
        }
        fields.erase(fields.begin());
    }
    if (fields.size() != field_count) {
        problem = "the location has " + std::to_string(fields.size()) + (fields.size() == 1 ? " field" : " fields") +
                  "; it needs 6: X,Y,Z F1,F2,F3 D1,D2,D3 zoom=K exposure=E speed=S";
        return false;
    }
    location l;
    if (!read_vector(fields[0], "the position", l.position, problem)) return false;
    const double away = length(dvector(l.position));
    if (away > farthest_from_earth) {                          // no flight goes there either
        char note[160];
        std::snprintf(note, sizeof note,
                      "the position is %.9g light years from Earth; a location lies at most %g light years away",
                      away, farthest_from_earth);
        problem = note;
        return false;
    }
    if (!read_vector(fields[1], "the forward axis", l.forward, problem)) return false;
    if (!read_vector(fields[2], "the down axis", l.down, problem)) return false;
    if (!unit_axis(l.forward, "the forward axis", problem)) return false;
    if (!unit_axis(l.down, "the down axis", problem)) return false;
    const double cosine = dot(dvector(l.forward), dvector(l.down));
    if (std::fabs(cosine) > axis_tolerance) {
        char note[160];
        std::snprintf(note, sizeof note, "the forward and down axes are not at right angles: their dot product is %.9g",
                      cosine);
        problem = note;
        return false;
    }

    std::string value;
    if (!value_of(fields[3], "zoom", value, problem)) return false;
    if (!read_int(value, l.zoom_step) || l.zoom_step < lens::widest_zoom || l.zoom_step > lens::narrowest_zoom) {
        problem = "zoom=" + value + " is out of range: the zoom step is a whole number from " +
                  std::to_string(lens::widest_zoom) + " to " + std::to_string(lens::narrowest_zoom);
        return false;
    }

    if (!value_of(fields[4], "exposure", value, problem)) return false;
    float exposure = 0;
    const bool number = read_float(value, exposure);
    const double steps = 2.0 * (double)exposure;
    const bool in_range = number && steps >= lens::darkest_exposure && steps <= lens::brightest_exposure;
    if (!in_range || steps != std::floor(steps)) {
        char range[120];
        std::snprintf(range, sizeof range, "from %+.1f to %+.1f in steps of 0.5",
                      lens::darkest_exposure / 2.0, lens::brightest_exposure / 2.0);
        // A value within the range is off the step: saying "out of range" would send the user looking elsewhere.
        problem = "exposure=" + value + (in_range ? " must be a multiple of 0.5" : " is out of range") +
                  ": the exposure goes " + range;
        return false;
    }
    l.exposure_steps = (int)steps;

    if (!value_of(fields[5], "speed", value, problem)) return false;
    if (!read_int(value, l.speed_level) || l.speed_level < slowest_speed || l.speed_level > fastest_speed) {
        problem = "speed=" + value + " is out of range: the speed level is a whole number from " +
                  std::to_string(slowest_speed) + " to +" + std::to_string(fastest_speed);
        return false;
    }
    out = l;
    return true;
}

vector right_axis(vector down, vector forward)
{
    vector right = down & forward;
    right.normalize();
    return right;
}

void place_camera(camera& c, const location& l)
{
    c.camera_position = l.position;
    c.velocity = vector(0, 0, 0);               // a location starts at rest
    c.forward = l.forward;
    c.down = l.down;
    c.right = right_axis(l.down, l.forward);
    c.homing = false;
    c.speed_level = l.speed_level;
    c.optics.zoom_by(l.zoom_step - c.optics.zoom_step());
    c.optics.expose_by(l.exposure_steps - c.optics.exposure_steps());
}
