// Pointing at a star: which drawn star a click picks, and what the block of text shown for the star
// picked says.
#ifndef STARHOP_SELECTION_H
#define STARHOP_SELECTION_H

#include "engine/star_pick.h"
#include "base/vector.h"

class star_type;

// The star picked by the last click, and the frame's part in picking it.
class selection {
public:
    // A click at (x, y): the next frame drawn answers it.
    void click(int x, int y);
    // Where the frame being drawn offers its stars; null without a click waiting.
    star_pick* pick() { return waiting_ ? &pick_ : nullptr; }
    bool click_waiting() const { return waiting_; }
    // After the stars are drawn: the click's answer replaces the star picked
    // (nothing near clears it).
    void frame_drawn();
    const star_type* star() const { return star_; }

private:
    const star_type* star_ = nullptr;
    bool waiting_ = false;
    star_pick pick_{0, 0};
};

// The lines of the block that tells what the star is, seen from `from`: its
// name, class, distance, the magnitude it shows there, and its absolute
// magnitude as astronomers give it (at ten parsecs, by Pogson's ratio).
struct star_facts {
    static constexpr int lines = 5;
    char text[lines][64];
};
star_facts facts_about(const star_type& s, vector from);

#endif
