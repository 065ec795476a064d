// The location line on arbitrary bytes. Whatever is refused says why; a line
// that is read back is written again, and that text must read back to the
// same bits and be written the same way once more.
#include "model/location.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

static bool same_bits(const location& a, const location& b)
{
    const vector av[3] = {a.position, a.forward, a.down}, bv[3] = {b.position, b.forward, b.down};
    return std::memcmp(av, bv, sizeof av) == 0 && a.zoom_step == b.zoom_step &&
           a.exposure_steps == b.exposure_steps && a.speed_level == b.speed_level;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 4096) return 0;                                 // a line, not a file
    const std::string text((const char*)data, size);
    location l;
    std::string problem;
    if (!parse_location(text, l, problem)) {
        if (problem.empty()) std::abort();                     // refused without a reason
        return 0;
    }
    const std::string written = format_location(l);
    location back;
    if (!parse_location(written, back, problem)) std::abort(); // what we write we must read
    if (!same_bits(back, l)) std::abort();
    if (format_location(back) != written) std::abort();
    return 0;
}
