#include "base/text.h"

#include <algorithm>
#include <cstdio>

std::string printable(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (unsigned char ch : text) {
        if (ch >= ' ' && ch <= '~') {
            out += (char)ch;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", ch);
            out += escaped;
        }
    }
    return out;
}

std::string quoted(const std::string& text)
{
    if (text.size() <= quoted_length) return "\"" + printable(text) + "\"";
    std::size_t n = quoted_length;
    while (n > 0 && ((unsigned char)text[n] & 0xc0) == 0x80) --n;   // not inside a UTF-8 character
    return "\"" + printable(text.substr(0, n)) + "...\"";
}

std::string with_thousands(long long n)
{
    const unsigned long long size = n < 0 ? 0ull - (unsigned long long)n : (unsigned long long)n;
    return (n < 0 ? "-" : "") + with_thousands(std::to_string(size));
}

std::string with_thousands(std::string digits)
{
    const std::size_t whole = std::min(digits.find('.'), digits.size());
    for (std::size_t at = whole; at > 3; at -= 3) digits.insert(at - 3, ",");
    return digits;
}
