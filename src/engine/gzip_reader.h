// A gzip stream decompressed as it is read: the bytes of a compressed catalog
// handed out as if the file held them plainly.
#ifndef STARHOP_GZIP_READER_H
#define STARHOP_GZIP_READER_H

#include "base/worker.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Whether bytes that start an input mark it as gzip.
inline bool starts_gzip(const char* bytes, std::size_t n)
{
    return n >= 2 && (unsigned char)bytes[0] == 0x1f && (unsigned char)bytes[1] == 0x8b;
}

// Decompresses on a thread of its own, a few blocks ahead of the reader, so
// that reading the lines and decompressing them run side by side.
class gzip_reader {
public:
    // Compressed bytes come from `raw`, called on the decompressing thread
    // only: up to n into `into`, 0 at their end.
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
    // early, after byte 1,234"); empty when it did not. Known once read()
    // has given 0.
    std::string damage() const { return ended_ ? damage_ : std::string(); }
    // Compressed bytes taken so far.
    long long compressed_bytes() const { return taken_; }

private:
    struct state;
    std::unique_ptr<state> z_;
    raw_read raw_;
    std::string damage_;
    std::atomic<long long> taken_{0};

    // Decompresses into `into` until it is full or the data ends; false at
    // the end.
    bool inflate_into(std::vector<char>& into);
    void decompress();                          // the thread's work

    struct block {
        std::vector<char> bytes;
        std::size_t size = 0;
    };
    std::vector<block> blocks_;
    std::deque<std::size_t> ready_, spare_;     // blocks filled and in order, blocks to fill
    bool finished_ = false;                     // the thread has filled its last block
    bool stop_ = false;
    std::mutex lock_;
    std::condition_variable changed_;
    worker worker_;                             // decompresses, once reading has begun
    std::size_t current_ = 0, used_ = 0;        // the block being read, and how much of it
    bool holding_ = false, ended_ = false;
};

#endif
