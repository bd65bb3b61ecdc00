#include "DecodeLine.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ZT_DECODE_SSSE3 1
#endif

namespace decoder {

namespace {

constexpr int hexDigit(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

constexpr std::uint16_t NotHex = 0x100;

struct Tables
{
    // Two characters (first | second << 8) -> their value as two hex digits, or NotHex.
    std::uint16_t pair[65536];
    // Bytes that a "00xx" group stands for by themselves: printable ASCII except the back quote.
    bool plain[256];
};

constexpr Tables makeTables()
{
    Tables t{};
    for (unsigned i = 0; i < 65536; ++i) {
        const int a = hexDigit(static_cast<unsigned char>(i & 0xFF));
        const int b = hexDigit(static_cast<unsigned char>(i >> 8));
        t.pair[i] = (a < 0 || b < 0) ? NotHex : static_cast<std::uint16_t>(a << 4 | b);
    }
    for (unsigned c = 0; c < 256; ++c) {
        // Lower-casing first changes nothing here: both cases of every letter are plain.
        t.plain[c] = c >= 0x20 && c <= 0x7E && c != '`';
    }
    return t;
}

constexpr Tables kTables = makeTables();

constexpr std::uint32_t word(char a, char b, char c, char d)
{
    return static_cast<unsigned char>(a) | static_cast<unsigned char>(b) << 8 | static_cast<unsigned char>(c) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d)) << 24;
}

constexpr std::uint32_t NewlineGroup = word('0', 'D', '0', 'A');

// Leading hex digits as a number; the first other character ends it, and no digits give 0.
unsigned leadingHex(const char* s, std::size_t n)
{
    unsigned v = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const int d = hexDigit(static_cast<unsigned char>(s[i]));
        if (d < 0)
            break;
        v = v << 4 | static_cast<unsigned>(d);
    }
    return v;
}

char* putCode(unsigned code, char* out)
{
    if (code < 256) {
        *out++ = static_cast<char>(code);
    } else {
        *out++ = static_cast<char>(code >> 8);
        *out++ = static_cast<char>(code & 0xFF);
    }
    return out;
}

// Any group of one to four characters, read literally: the group's record digits are rebuilt and read the
// way the fast path assumes they would be for well-formed groups.
char* decodeGroupGeneral(const char* g, std::size_t len, char* out)
{
    if (len == 4 && std::memcmp(g, "0D0A", 4) == 0) {
        *out++ = '\r';
        *out++ = '\n';
        return out;
    }
    const std::size_t hiLen = std::min<std::size_t>(len, 2);
    const std::size_t loLen = len > 2 ? len - 2 : 0;
    const char* lo = g + 2;
    char record[4];
    std::size_t recordLen = 0;
    auto add = [&](const char* s, std::size_t n) {
        std::memcpy(record + recordLen, s, n);
        recordLen += n;
    };
    if (!(hiLen == 2 && g[0] == '0' && g[1] == '0')) {
        add(lo, loLen);
        add(g, hiLen);
    } else if (kTables.plain[leadingHex(lo, loLen)]) {
        add(g, len);
    } else {
        // Only this group's own digits are replaced, so a short "00" group at the end of a line reads
        // as code 0, never touching the group before it.
        add(lo, loLen);
        add("00", 2);
    }
    return putCode(leadingHex(record, recordLen), out);
}

inline char* decodeGroup(const char* p, char* out)
{
    const unsigned hiIdx = static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8;
    const unsigned loIdx = static_cast<unsigned char>(p[2]) | static_cast<unsigned char>(p[3]) << 8;
    const unsigned hi = kTables.pair[hiIdx];
    const unsigned lo = kTables.pair[loIdx];
    if (((hi | lo) & NotHex) != 0 || (hiIdx | loIdx << 16) == NewlineGroup) [[unlikely]]
        return decodeGroupGeneral(p, 4, out);
    // Code lo:hi, high byte first; one byte when below 256. A "00xx" group stands for the byte xx when it
    // is plain, else for code xx:00.
    out[0] = static_cast<char>((hi != 0 && lo == 0) ? hi : lo);
    out[1] = static_cast<char>(hi);
    return out + 1 + (lo != 0 && !(hi == 0 && kTables.plain[lo]));
}

char* decodeGroupsScalar(const char* in, std::size_t groups, char* out)
{
    for (std::size_t i = 0; i < groups; ++i, in += 4)
        out = decodeGroup(in, out);
    return out;
}

#ifdef ZT_DECODE_SSSE3

// For each mask of "this group gives two bytes" over eight groups, the shuffle that packs their
// [first, second] byte pairs together.
constexpr std::array<std::array<std::uint8_t, 16>, 256> makeCompactShuffles()
{
    std::array<std::array<std::uint8_t, 16>, 256> t{};
    for (unsigned mask = 0; mask < 256; ++mask) {
        unsigned n = 0;
        for (unsigned k = 0; k < 8; ++k) {
            t[mask][n++] = static_cast<std::uint8_t>(2 * k);
            if (mask >> k & 1)
                t[mask][n++] = static_cast<std::uint8_t>(2 * k + 1);
        }
        while (n < 16)
            t[mask][n++] = 0x80;
    }
    return t;
}

alignas(16) constexpr auto kCompactShuffles = makeCompactShuffles();

constexpr std::array<std::uint8_t, 256> makeBitCounts()
{
    std::array<std::uint8_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i)
        t[i] = static_cast<std::uint8_t>(std::popcount(i));
    return t;
}

// A table, as the popcnt instruction is not part of the baseline this is built for.
constexpr auto kBitCounts = makeBitCounts();

// Eight groups (32 characters) per step. Steps holding anything but hex digits, or a "0D0A" group, go
// through the scalar path, so both paths give the same bytes for every input.
__attribute__((target("ssse3"))) char* decodeGroupsSsse3(const char* in, std::size_t groups, char* out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i char0 = _mm_set1_epi8('0');
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i lowerBit = _mm_set1_epi8(0x20);
    const __m128i charA = _mm_set1_epi8('a');
    const __m128i five = _mm_set1_epi8(5);
    const __m128i ten = _mm_set1_epi8(10);
    const __m128i newline = _mm_set1_epi32(static_cast<int>(NewlineGroup));
    const __m128i nibbleWeights = _mm_set1_epi16(0x0110); // first character * 16 + second
    const __m128i lowByte = _mm_set1_epi16(0x00FF);
    const __m128i plainLow = _mm_set1_epi16(0x1F);
    const __m128i plainHigh = _mm_set1_epi16(0x7F);
    const __m128i backQuote = _mm_set1_epi16('`');

    auto nibbles = [&](__m128i c, __m128i& bad) {
        const __m128i d = _mm_sub_epi8(c, char0);
        const __m128i isDigit = _mm_cmpeq_epi8(_mm_min_epu8(d, nine), d);
        const __m128i l = _mm_sub_epi8(_mm_or_si128(c, lowerBit), charA);
        const __m128i isLetter = _mm_cmpeq_epi8(_mm_min_epu8(l, five), l);
        bad = _mm_or_si128(bad, _mm_andnot_si128(_mm_or_si128(isDigit, isLetter), _mm_set1_epi8(-1)));
        bad = _mm_or_si128(bad, _mm_cmpeq_epi32(c, newline));
        return _mm_or_si128(_mm_and_si128(isDigit, d), _mm_andnot_si128(isDigit, _mm_add_epi8(l, ten)));
    };

    std::size_t i = 0;
    for (; i + 8 <= groups; i += 8, in += 32) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        __m128i bad = zero;
        const __m128i na = nibbles(a, bad);
        const __m128i nb = nibbles(b, bad);
        if (_mm_movemask_epi8(bad) != 0) {
            out = decodeGroupsScalar(in, 8, out);
            continue;
        }
        // Bytes hi0 lo0 hi1 lo1 ...: the values of each group's two digit pairs.
        const __m128i v = _mm_packus_epi16(_mm_maddubs_epi16(na, nibbleWeights), _mm_maddubs_epi16(nb, nibbleWeights));
        const __m128i hi = _mm_and_si128(v, lowByte);
        const __m128i lo = _mm_srli_epi16(v, 8);
        const __m128i loZero = _mm_cmpeq_epi16(lo, zero);
        const __m128i hiZero = _mm_cmpeq_epi16(hi, zero);
        const __m128i plain =
            _mm_andnot_si128(_mm_cmpeq_epi16(lo, backQuote),
                             _mm_and_si128(_mm_cmpgt_epi16(lo, plainLow), _mm_cmplt_epi16(lo, plainHigh)));
        // One byte when lo is 0 (the byte hi), or for a plain "00xx" (the byte lo); else lo then hi.
        const __m128i single = _mm_or_si128(loZero, _mm_and_si128(hiZero, plain));
        const __m128i first = _mm_or_si128(lo, _mm_and_si128(hi, loZero));
        const __m128i pairs = _mm_or_si128(first, _mm_slli_epi16(hi, 8));
        const unsigned twoByteMask = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(single, zero))) ^ 0xFFu;
        const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i*>(kCompactShuffles[twoByteMask].data()));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(pairs, shuffle));
        out += 8 + kBitCounts[twoByteMask];
    }
    return decodeGroupsScalar(in, groups - i, out);
}

using GroupsDecoder = char* (*)(const char*, std::size_t, char*);

GroupsDecoder pickGroupsDecoder()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3") ? decodeGroupsSsse3 : decodeGroupsScalar;
}

#endif

} // namespace

char* DecodeGroups(const char* in, std::size_t groups, char* out) noexcept
{
#ifdef ZT_DECODE_SSSE3
    static const GroupsDecoder decode = pickGroupsDecoder();
    return decode(in, groups, out);
#else
    return decodeGroupsScalar(in, groups, out);
#endif
}

char* DecodeLineTo(const char* in, std::size_t n, char* out) noexcept
{
    out = DecodeGroups(in, n / 4, out);
    if (const std::size_t rest = n % 4)
        out = decodeGroupGeneral(in + n - rest, rest, out);
    return out;
}

void DecodeLineAppend(QByteArrayView line, QByteArray& out)
{
    const qsizetype old = out.size();
    out.resize(old + static_cast<qsizetype>(MaxDecodedSize(static_cast<std::size_t>(line.size()))));
    char* end = DecodeLineTo(line.data(), static_cast<std::size_t>(line.size()), out.data() + old);
    out.resize(end - out.constData());
}

QByteArray DecodeLine(QByteArrayView line)
{
    QByteArray out;
    DecodeLineAppend(line, out);
    return out;
}

} // namespace decoder
