// Lines of text shown at the bottom of the screen for a while: why a catalog
// could not be read whole, a screen mode that was refused, where a picture
// was saved. A user started from the desktop menu has no terminal, so what
// the program says on standard error is said here too.
#ifndef STARHOP_NOTICES_H
#define STARHOP_NOTICES_H

#include <string>
#include <vector>

class notices {
public:
    // Seconds are counted in the frame timer's ticks, `rate` of them a second.
    explicit notices(unsigned rate) : ticks_per_second_(rate) {}

    // Shows `text` for `seconds`, counted from the next frame that passes
    // time; 0 seconds: until the next key press. A line equal to one shown
    // already replaces it, so a repeated message does not pile up.
    void show(const std::string& text, unsigned seconds);
    // One frame's passing: `ticks` timer ticks since the last one, and
    // whether a key was pressed in it. Returns whether a line went away.
    bool pass(unsigned ticks, bool key_pressed);
    bool empty() const { return lines.empty(); }
    // The lines, oldest first.
    const std::vector<std::string>& texts() const { return shown; }

private:
    struct line {
        std::string text;
        unsigned ticks_left;                   // 0: until a key press
    };
    unsigned ticks_per_second_;
    std::vector<line> lines;
    std::vector<std::string> shown;            // the texts of `lines`, in order
    void refresh();
};

#endif
