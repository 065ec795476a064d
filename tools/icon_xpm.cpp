// Turns an RGBA picture into XPM text.
#include "icon_xpm.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <ostream>

namespace {

// Characters that may name a colour: printable, and neither the quote nor
// the backslash, so the rows need no escapes in C source.
const std::string code_chars = [] {
    std::string s;
    for (char c = ' '; c <= '~'; ++c)
        if (c != '"' && c != '\\') s += c;
    return s;
}();

constexpr uint32_t transparent = 0xFFFFFFFFu;     // no colour is this: colours have 24 bits

std::string code_for(size_t index, int chars_per_pixel)
{
    std::string code(chars_per_pixel, ' ');
    for (int i = chars_per_pixel - 1; i >= 0; --i) {     // last character changes fastest
        code[i] = code_chars[index % code_chars.size()];
        index /= code_chars.size();
    }
    return code;
}

} // namespace

std::vector<std::string> xpm_rows(const unsigned char* rgba, int width, int height)
{
    std::vector<uint32_t> pixels((size_t)width * height);
    std::map<uint32_t, size_t> index;               // colour -> order of first appearance
    std::vector<uint32_t> palette;
    for (size_t i = 0; i < pixels.size(); ++i) {
        const unsigned char* p = rgba + 4 * i;
        const uint32_t colour = p[3] < 128 ? transparent : (uint32_t)p[0] << 16 | (uint32_t)p[1] << 8 | p[2];
        pixels[i] = colour;
        if (index.emplace(colour, palette.size()).second) palette.push_back(colour);
    }
    int chars_per_pixel = 1;
    for (size_t reach = code_chars.size(); reach < palette.size(); reach *= code_chars.size()) ++chars_per_pixel;

    std::vector<std::string> rows;
    rows.push_back(std::to_string(width) + " " + std::to_string(height) + " " + std::to_string(palette.size()) +
                   " " + std::to_string(chars_per_pixel));
    for (size_t i = 0; i < palette.size(); ++i) {
        char value[16] = "None";
        if (palette[i] != transparent) std::snprintf(value, sizeof value, "#%06X", (unsigned)palette[i]);
        rows.push_back(code_for(i, chars_per_pixel) + " c " + value);
    }
    for (int y = 0; y < height; ++y) {
        std::string row;
        for (int x = 0; x < width; ++x) row += code_for(index[pixels[(size_t)y * width + x]], chars_per_pixel);
        rows.push_back(row);
    }
    return rows;
}

void write_xpm_source(std::ostream& out, const std::vector<std::string>& rows, const std::string& name,
                      const std::string& origin)
{
    out << "// " << origin << "\n"
        << "const char* " << name << "[] = {\n";
    for (const std::string& row : rows) out << "    \"" << row << "\",\n";
    out << "};\n";
}
