// Pointing at a star: which drawn star a click picks, and the marker and the block of text shown for
// the star picked.
#ifndef STARHOP_SELECTION_H
#define STARHOP_SELECTION_H

#include "base/vector.h"

struct BITMAP;
struct camera;
class star_type;

// The star a click picks, gathered while the frame after the click draws its
// stars: each drawn star is offered with its pixel and the magnitude it was
// drawn at, and the nearest within reach is kept.
class star_pick {
public:
    static constexpr int reach = 6;                   // pixels from the click

    star_pick(int column, int row) : column_(column), row_(row) {}
    void offer(const star_type* s, int column, int row, float magnitude)
    {
        const int dx = column - column_, dy = row - row_;
        const int squared = dx * dx + dy * dy;
        if (squared > best_squared_) return;                    // farther than the best so far
        if (squared == best_squared_ && best_ && !(magnitude <= best_magnitude_)) return;   // as near, fainter
        best_ = s;                                              // of two alike, the later drawn: on top
        best_squared_ = squared;
        best_magnitude_ = magnitude;
    }
    // The star picked; null when none was drawn within reach.
    const star_type* best() const { return best_; }

private:
    int column_, row_;
    const star_type* best_ = nullptr;
    int best_squared_ = reach * reach;
    float best_magnitude_ = 0;
};

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
    void choose(const star_type* s) { star_ = s; }

    // The marker around the star, while it is in front of the viewer and on
    // the screen, and the block of text at the top right.
    void draw(BITMAP* buffer, const camera& c) const;

private:
    const star_type* star_ = nullptr;
    bool waiting_ = false;
    star_pick pick_{0, 0};
};

// The lines of the block that tells what the star is, seen from `from`.
struct star_facts {
    static constexpr int lines = 5;
    char text[lines][64];
};
star_facts facts_about(const star_type& s, vector from);

#endif
