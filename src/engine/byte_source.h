// Where a catalog's bytes come from: a file descriptor, a stream, bytes read
// ahead and handed out again, or a gzip stream decompressed as it is read.
// Each hands out bytes in order, and tells why they ended early if they did.
#ifndef STARHOP_BYTE_SOURCE_H
#define STARHOP_BYTE_SOURCE_H

#include "engine/gzip_reader.h"

#include <atomic>
#include <cstddef>
#include <iosfwd>
#include <string>
#include <utility>

// The bytes of an input, handed out in order.
class byte_source {
public:
    virtual ~byte_source() = default;
    // Up to n bytes into `into`; 0 at the end or after an error.
    virtual size_t read(char* into, size_t n) = 0;
    // Why the bytes ended before the input's proper end, when they did.
    virtual std::string damage() const { return std::string(); }
    // How far into the input `decoded` bytes handed out reach, for the progress.
    virtual long long reach(long long decoded) const { return decoded; }
    int error = 0;                                              // errno of a failed read
};

// A file read from where it stands, or from `offset` on without moving it
// (so that several readers can share one descriptor). The descriptor is
// borrowed: whoever opened it closes it.
class file_source : public byte_source {
public:
    explicit file_source(int fd, long long offset = -1) : fd_(fd), offset_(offset) {}
    size_t read(char* into, size_t n) override;

private:
    int fd_;
    long long offset_;
};

class stream_source : public byte_source {
public:
    explicit stream_source(std::istream& in) : in_(in) {}
    // What the stream has at hand, as a read of a pipe would return it.
    size_t read(char* into, size_t n) override;

private:
    std::istream& in_;
};

// Bytes read ahead to tell the format, handed out again before the rest.
class replay_source : public byte_source {
public:
    replay_source(std::string head, byte_source& rest) : head_(std::move(head)), rest_(rest) {}
    size_t read(char* into, size_t n) override;
    std::string damage() const override { return rest_.damage(); }
    long long reach(long long decoded) const override { return rest_.reach(decoded); }

private:
    std::string head_;
    size_t at_ = 0;
    byte_source& rest_;
};

// A gzip stream's bytes decompressed.
class gzip_source : public byte_source {
public:
    // The raw bytes are read on the decompressing thread; a read error is
    // taken over once the decompressed bytes have ended.
    explicit gzip_source(byte_source& raw);
    size_t read(char* into, size_t n) override;
    std::string damage() const override { return error ? std::string() : gzip_.damage(); }
    long long reach(long long) const override { return gzip_.compressed_bytes(); }

private:
    byte_source& raw_;
    std::atomic<int> raw_error_{0};
    gzip_reader gzip_;
};

// Reads from `source` until `head` holds at least `want` bytes or the source
// ends; returns whether it ended.
bool read_ahead(byte_source& source, std::string& head, size_t want);

#endif
