// Decompression through zlib, one member after another, with where and why
// a damaged stream stopped, a few blocks ahead of the reader.
#include "engine/gzip_reader.h"

#include "base/text.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace {
const std::size_t block_bytes = 1 << 20;        // decompressed bytes a block
const std::size_t blocks_ahead = 4;
}

struct gzip_reader::state {
    z_stream z{};
    std::vector<unsigned char> input = std::vector<unsigned char>(256 << 10);
    bool member_open = false;                   // inside a member, its end not yet met
    bool member_seen = false;
    bool started = false;                       // inflateInit2 succeeded
    bool done = false;
};

gzip_reader::gzip_reader(raw_read raw) : z_(new state), raw_(std::move(raw))
{
    z_->started = inflateInit2(&z_->z, 15 + 16) == Z_OK;        // 15: the largest window, 16: gzip only
    if (!z_->started) {
        damage_ = "the decompressor cannot start (out of memory)";
        ended_ = true;
    }
}

gzip_reader::~gzip_reader()
{
    if (worker_.started()) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        changed_.notify_all();
        worker_ = worker();                                      // waits for it
    }
    if (z_->started) inflateEnd(&z_->z);
}

bool gzip_reader::inflate_into(std::vector<char>& into)
{
    z_stream& z = z_->z;
    z.next_out = reinterpret_cast<unsigned char*>(into.data());
    z.avail_out = (uInt)into.size();
    while (z.avail_out > 0 && !z_->done) {
        if (z.avail_in == 0) {
            const std::size_t got = raw_(reinterpret_cast<char*>(z_->input.data()), z_->input.size());
            if (got == 0) {
                if (z_->member_open || !z_->member_seen)
                    damage_ = "the compressed data ends early, after byte " + with_thousands(taken_);
                z_->done = true;
                break;
            }
            z.next_in = z_->input.data();
            z.avail_in = (uInt)got;
        }
        if (!z_->member_open) {
            // Between members: another one, or zeros some tools pad with.
            if (z_->member_seen) {
                while (z.avail_in > 0 && *z.next_in == 0) {
                    ++z.next_in;
                    --z.avail_in;
                    ++taken_;
                }
                if (z.avail_in == 0) continue;
                inflateReset(&z);
            }
            z_->member_open = z_->member_seen = true;
        }
        const uInt before = z.avail_in;
        const int status = inflate(&z, Z_NO_FLUSH);
        taken_ += before - z.avail_in;
        if (status == Z_STREAM_END) {
            z_->member_open = false;
            continue;
        }
        if (status == Z_OK || status == Z_BUF_ERROR) continue;  // more input or more room
        const std::string why = z.msg ? z.msg : "error " + std::to_string(status);
        damage_ = "the compressed data is damaged (" + why + "), near byte " + with_thousands(taken_);
        z_->done = true;
    }
    into.resize(into.size() - z.avail_out);
    return !z_->done;
}

void gzip_reader::decompress()
{
    for (;;) {
        std::size_t k;
        {
            std::unique_lock<std::mutex> hold(lock_);
            changed_.wait(hold, [&] { return stop_ || !spare_.empty(); });
            if (stop_) return;
            k = spare_.front();
            spare_.pop_front();
        }
        block& b = blocks_[k];
        bool more;
        try {
            b.bytes.resize(block_bytes);
            more = inflate_into(b.bytes);
        } catch (...) {                                          // out of memory, most likely
            b.bytes.clear();
            damage_ = "the compressed data cannot be read on (out of memory)";
            more = false;
        }
        b.size = b.bytes.size();
        {
            std::lock_guard<std::mutex> hold(lock_);
            ready_.push_back(k);
            finished_ = !more;
        }
        changed_.notify_all();
        if (!more) return;
    }
}

std::size_t gzip_reader::read(char* into, std::size_t n)
{
    if (ended_ || n == 0) return 0;
    if (!worker_.started()) {
        blocks_.resize(blocks_ahead);
        for (std::size_t k = 0; k < blocks_ahead; ++k) spare_.push_back(k);
        worker_ = worker(std::function<void()>([this] { decompress(); }));
    }
    std::size_t given = 0;
    while (given < n) {
        if (holding_ && used_ == blocks_[current_].size) {     // this block is read: back to the thread
            {
                std::lock_guard<std::mutex> hold(lock_);
                spare_.push_back(current_);
                holding_ = false;
            }
            changed_.notify_all();
        }
        if (!holding_) {
            std::unique_lock<std::mutex> hold(lock_);
            if (given > 0 && ready_.empty()) break;             // hand out what there is
            changed_.wait(hold, [&] { return !ready_.empty() || (finished_ && ready_.empty()); });
            if (ready_.empty()) {
                ended_ = true;
                break;
            }
            current_ = ready_.front();
            ready_.pop_front();
            holding_ = true;
            used_ = 0;
            if (blocks_[current_].size == 0 && finished_ && ready_.empty()) {
                ended_ = true;
                break;
            }
        }
        const block& b = blocks_[current_];
        const std::size_t k = std::min(n - given, b.size - used_);
        std::memcpy(into + given, b.bytes.data() + used_, k);
        used_ += k;
        given += k;
    }
    return given;
}
