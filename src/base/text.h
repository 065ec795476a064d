// Text for messages and the screen: bytes made printable, a field quoted and
// shortened, numbers with thousands separators.
#ifndef STARHOP_TEXT_H
#define STARHOP_TEXT_H

#include <cstddef>
#include <string>

// Bytes that are not printable ASCII written as \xNN, so a message never
// sends raw control bytes to a terminal or odd glyphs to the screen.
std::string printable(const std::string& text);

// The longest text a message quotes whole; a longer one is cut there.
constexpr std::size_t quoted_length = 20;
// `text` in double quotes, made printable, cut after quoted_length bytes (never
// inside a UTF-8 character) with "..." before the closing quote.
std::string quoted(const std::string& text);

// 1234567 as "1,234,567", -1234 as "-1,234".
std::string with_thousands(long long n);
// A decimal number's text with separators in its whole part: "12345.6" as
// "12,345.6". The text is digits, at most one point, and no sign.
std::string with_thousands(std::string digits);

#endif
