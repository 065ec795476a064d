// Turns an RGBA picture into XPM text, the form in which the X11 graphics
// driver takes a window's icon.
#ifndef STARHOP_ICON_XPM_H
#define STARHOP_ICON_XPM_H

#include <iosfwd>
#include <string>
#include <vector>

// The rows of an XPM image of `width` by `height` pixels, `rgba` holding four
// bytes a pixel, row after row: the header, one row per colour in the order
// the colours first appear, then one row per pixel row. A pixel less than
// half opaque is transparent ("None"); the others keep their colour, opaque.
std::vector<std::string> xpm_rows(const unsigned char* rgba, int width, int height);

// C++ source that defines `const char* name[]` holding `rows`, under a
// comment line that says where they came from.
void write_xpm_source(std::ostream& out, const std::vector<std::string>& rows, const std::string& name,
                      const std::string& origin);

#endif
