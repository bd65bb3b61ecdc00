// The vector decode paths against the plain one: whole lines, and text cut into lines by DecodeLinePart.
// Output goes to exactly sized buffers, so any write past what a call may use is caught.
#include "DecodeLine.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

using decoder::DecodePath;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string decodeWhole(const char* in, std::size_t n)
{
    const std::size_t room = decoder::MaxDecodedSize(n);
    std::unique_ptr<char[]> out(new char[room > 0 ? room : 1]);
    const char* end = decoder::DecodeLineTo(in, n, out.get());
    check(end >= out.get() && end <= out.get() + room);
    return std::string(out.get(), static_cast<std::size_t>(end - out.get()));
}

// Each line's bytes, then where its part stopped ("|" at a line end, "~" and the undecoded rest otherwise).
std::string decodeParts(const char* in, std::size_t n)
{
    std::string all;
    const char* p = in;
    const char* const end = in + n;
    while (p < end) {
        const std::size_t room = decoder::MaxDecodedSize(static_cast<std::size_t>(end - p));
        std::unique_ptr<char[]> out(new char[room > 0 ? room : 1]);
        char* o = out.get();
        const char* stop = decoder::DecodeLinePart(p, end, o);
        check(stop >= p && stop <= end && o >= out.get() && o <= out.get() + room);
        all.append(out.get(), o);
        if (stop < end && (*stop == '\r' || *stop == '\n')) {
            all += '|';
            p = stop + 1;
            continue;
        }
        check(end - stop < 4);
        all += '~';
        all.append(stop, end);
        break;
    }
    return all;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // An exactly sized copy, so a read past the end is caught too.
    std::unique_ptr<char[]> exact(new char[size > 0 ? size : 1]);
    std::memcpy(exact.get(), data, size);
    const DecodePath widest = decoder::ActiveDecodePath();

    check(decoder::UseDecodePath(DecodePath::Plain));
    const std::string whole = decodeWhole(exact.get(), size);
    const std::string parts = decodeParts(exact.get(), size);
    for (const DecodePath path : {DecodePath::Ssse3, DecodePath::Avx2, DecodePath::Avx512}) {
        if (!decoder::UseDecodePath(path))
            continue;
        check(decodeWhole(exact.get(), size) == whole);
        check(decodeParts(exact.get(), size) == parts);
    }
    decoder::UseDecodePath(widest);
    return 0;
}
