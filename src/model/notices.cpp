#include "model/notices.h"

#include "base/text.h"

#include <algorithm>

void notices::show(const std::string& text, unsigned seconds)
{
    const std::string clean = printable(text);
    lines.erase(std::remove_if(lines.begin(), lines.end(), [&](const line& l) { return l.text == clean; }),
                lines.end());
    lines.push_back(line{clean, seconds * ticks_per_second_});
    refresh();
}

bool notices::pass(unsigned ticks, bool key_pressed)
{
    const std::size_t before = lines.size();
    std::vector<line> kept;
    for (line& l : lines) {
        if (l.ticks_left == 0) {
            if (!key_pressed) kept.push_back(l);
        } else if (l.ticks_left > ticks) {
            l.ticks_left -= ticks;
            kept.push_back(l);
        }
    }
    lines.swap(kept);
    refresh();
    return lines.size() != before;
}

void notices::refresh()
{
    shown.clear();
    for (const line& l : lines) shown.push_back(l.text);
}
