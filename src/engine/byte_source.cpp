// Reading the catalog's bytes: read and pread retried where a signal broke
// in, a stream's bytes as they come, and gzip taken over from its reader.
#include "engine/byte_source.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <istream>
#include <unistd.h>

size_t file_source::read(char* into, size_t n)
{
    for (;;) {
        const ssize_t got = offset_ < 0 ? ::read(fd_, into, n) : ::pread(fd_, into, n, offset_);
        if (got >= 0) {
            if (offset_ >= 0) offset_ += got;
            return (size_t)got;
        }
        if (errno == EINTR) continue;
        error = errno;
        return 0;
    }
}

size_t stream_source::read(char* into, size_t n)
{
    if (in_.peek() == std::char_traits<char>::eof()) return 0;
    return (size_t)in_.readsome(into, (std::streamsize)n);
}

size_t replay_source::read(char* into, size_t n)
{
    if (at_ < head_.size()) {
        const size_t k = std::min(n, head_.size() - at_);
        std::memcpy(into, head_.data() + at_, k);
        at_ += k;
        return k;
    }
    const size_t got = rest_.read(into, n);
    error = rest_.error;
    return got;
}

gzip_source::gzip_source(byte_source& raw)
    : raw_(raw), gzip_([this](char* into, size_t n) {
          const size_t got = raw_.read(into, n);
          raw_error_ = raw_.error;
          return got;
      })
{
}

size_t gzip_source::read(char* into, size_t n)
{
    const size_t got = gzip_.read(into, n);
    if (got == 0) error = raw_error_;
    return got;
}

bool read_ahead(byte_source& source, std::string& head, size_t want)
{
    while (head.size() < want) {
        const size_t had = head.size();
        head.resize(std::max(want, had + (64 << 10)));
        const size_t got = source.read(&head[had], head.size() - had);
        head.resize(had + got);
        if (got == 0) return true;
    }
    return false;
}
