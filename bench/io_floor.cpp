// io-floor LOG OUT BYTES: the least any decoder of LOG must do. It reads LOG through user memory in 1 MiB
// read()s and writes BYTES bytes (as many as LOG's ".sql" holds) to OUT, spread over the reads in the same
// proportion, and looks at nothing. Prints bytes in, bytes out and the seconds from opening LOG to closing
// OUT.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr std::size_t Block = std::size_t(1) << 20;
constexpr std::size_t Page = 4096;

bool writeAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: io-floor LOG OUT BYTES\n");
        return 2;
    }
    const long long total = std::atoll(argv[3]);
    // On a page of its own: a buffer a few bytes past a page start (as malloc hands out large blocks) makes
    // the kernel's copy into it stall on 4 KiB aliasing with the page cache, which no decoder need pay.
    const auto storage = std::make_unique_for_overwrite<char[]>(Block + Page);
    char* const buf = storage.get() + (Page - reinterpret_cast<std::uintptr_t>(storage.get()) % Page) % Page;
    const auto start = std::chrono::steady_clock::now();
    const int in = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (in < 0 || out < 0) {
        std::perror("io-floor: open");
        return 1;
    }
    ::posix_fadvise(in, 0, 0, POSIX_FADV_SEQUENTIAL);
    const off_t length = ::lseek(in, 0, SEEK_END);
    ::lseek(in, 0, SEEK_SET);
    long long read = 0;
    long long written = 0;
    for (;;) {
        const ssize_t n = ::read(in, buf, Block);
        if (n < 0) {
            std::perror("io-floor: read");
            return 1;
        }
        read += n;
        // Output so far in proportion to the input read; all of it once the input ends.
        const long long due = n == 0 || length <= 0 ? total : total * read / length;
        while (written < due) {
            const long long chunk = due - written < static_cast<long long>(Block) ? due - written : Block;
            if (!writeAll(out, buf, static_cast<std::size_t>(chunk))) {
                std::perror("io-floor: write");
                return 1;
            }
            written += chunk;
        }
        if (n == 0)
            break;
    }
    ::close(in);
    if (::close(out) != 0) {
        std::perror("io-floor: close");
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %lld bytes in, %lld bytes out, %.6f s\n", argv[1], read, written, seconds);
    return 0;
}
