// A gzip stream decompressed as it is read: the bytes of a compressed catalog
// handed out as if the file held them plainly.
#ifndef STARHOP_GZIP_READER_H
#define STARHOP_GZIP_READER_H

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// Whether bytes that start an input mark it as gzip.
inline bool starts_gzip(const char* bytes, std::size_t n)
{
    return n >= 2 && (unsigned char)bytes[0] == 0x1f && (unsigned char)bytes[1] == 0x8b;
}

class gzip_reader {
public:
    // Compressed bytes come from `raw`: up to n into `into`, 0 at their end.
    using raw_read = std::function<std::size_t(char* into, std::size_t n)>;
    explicit gzip_reader(raw_read raw);
    ~gzip_reader();
    gzip_reader(const gzip_reader&) = delete;
    gzip_reader& operator=(const gzip_reader&) = delete;

    // Up to n decompressed bytes into `into`; 0 at the end of the data, or
    // where it is cut short or damaged, which damage() then tells. Members
    // written one after another read as one stream.
    std::size_t read(char* into, std::size_t n);
    // Why the data ended before its proper end ("the compressed data ends
    // early, after byte 1,234"); empty when it did not.
    const std::string& damage() const { return damage_; }
    // Compressed bytes taken so far.
    long long compressed_bytes() const { return taken_; }

private:
    struct state;
    std::unique_ptr<state> z_;
    raw_read raw_;
    std::string damage_;
    long long taken_ = 0;
    bool done_ = false;
};

#endif
