// Decompression through zlib, one member after another, with where and why
// a damaged stream stopped.
#include "gzip_reader.h"

#include "catalog_formats.h"

#include <algorithm>
#include <vector>
#include <zlib.h>

struct gzip_reader::state {
    z_stream z{};
    std::vector<unsigned char> input = std::vector<unsigned char>(256 << 10);
    bool member_open = false;                   // inside a member, its end not yet met
    bool member_seen = false;
    bool started = false;                       // inflateInit2 succeeded
};

gzip_reader::gzip_reader(raw_read raw) : z_(new state), raw_(std::move(raw))
{
    z_->started = inflateInit2(&z_->z, 15 + 16) == Z_OK;        // 15: the largest window, 16: gzip only
    if (!z_->started) {
        damage_ = "the decompressor cannot start (out of memory)";
        done_ = true;
    }
}

gzip_reader::~gzip_reader()
{
    if (z_->started) inflateEnd(&z_->z);
}

std::size_t gzip_reader::read(char* into, std::size_t n)
{
    if (done_ || n == 0) return 0;
    z_stream& z = z_->z;
    z.next_out = reinterpret_cast<unsigned char*>(into);
    z.avail_out = (uInt)std::min<std::size_t>(n, 1u << 30);
    while (z.avail_out > 0) {
        if (z.avail_in == 0) {
            const std::size_t got = raw_(reinterpret_cast<char*>(z_->input.data()), z_->input.size());
            if (got == 0) {
                if (z_->member_open || !z_->member_seen)
                    damage_ = "the compressed data ends early, after byte " + with_thousands(taken_);
                done_ = true;
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
        done_ = true;
        break;
    }
    return n - z.avail_out;
}
