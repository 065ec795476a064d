// A traveller's location as one line of text: where they are, where they
// look, the zoom, the exposure and the speed level. Pasted back with --at it
// starts the viewer at rest in exactly that view.
#ifndef STARHOP_LOCATION_H
#define STARHOP_LOCATION_H

#include "base/vector.h"
#include "model/camera.h"

#include <string>

struct location {
    vector position{0, 0, 0};                   // light years from Earth
    vector forward{0, 1, 0};
    vector down{0, 0, -1};
    int zoom_step = 0;
    int exposure_steps = 0;                     // half magnitudes
    int speed_level = 0;
};

// The word a location line starts with; the number is the line's version.
extern const char* const location_word;

// Where the camera is and looks.
location location_of(const camera& c);
// starhop-at:1 X,Y,Z F1,F2,F3 D1,D2,D3 zoom=K exposure=E speed=S, each float
// with nine significant digits, so that it reads back to the same bits.
std::string format_location(const location& l);
// Reads a line written by format_location, with or without its first word.
// Returns false and says in `problem` what is wrong when a field is missing,
// extra or malformed, a number is not finite, the position lies farther than
// farthest_from_earth from Earth, the axes are not of unit length
// and at right angles within 1e-4, or a value is out of its range; `out`
// is left as it was then.
bool parse_location(const std::string& text, location& out, std::string& problem);

// The right axis from the down and forward axes, as a turn about the down
// axis derives it.
vector right_axis(vector down, vector forward);
// Puts the camera at `l`, at rest, with the right axis derived from the others.
void place_camera(camera& c, const location& l);

#endif
