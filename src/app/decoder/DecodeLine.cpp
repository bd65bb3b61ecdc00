#include "DecodeLine.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define ZT_DECODE_X86 1
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

bool hasLineEnd(const char* p)
{
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    const auto hasZeroByte = [](std::uint32_t v) { return ((v - 0x01010101u) & ~v & 0x80808080u) != 0; };
    return hasZeroByte(w ^ 0x0D0D0D0Du) || hasZeroByte(w ^ 0x0A0A0A0Au);
}

// The rest of a line from p, when fewer than four characters or a line end are left before end.
const char* finishLinePart(const char* p, const char* end, char*& out)
{
    const char* const limit = p + std::min<std::ptrdiff_t>(end - p, 4);
    const char* t = p;
    while (t < limit && *t != '\r' && *t != '\n')
        ++t;
    if (t == end)
        return p; // an unfinished group: the caller completes it
    if (t > p)
        out = decodeGroupGeneral(p, static_cast<std::size_t>(t - p), out);
    return t;
}

const char* decodeLinePartScalar(const char* p, const char* end, char*& out)
{
    char* o = out; // a local: stores through out could otherwise change out itself
    while (end - p >= 4 && !hasLineEnd(p)) {
        o = decodeGroup(p, o);
        p += 4;
    }
    out = o;
    return finishLinePart(p, end, out);
}

// The line ends at p + at, with the whole groups before it decoded: the part of a group that the end cuts is
// read on its own.
const char* finishAtLineEnd(const char* p, std::size_t at, char*& out)
{
    if (at % 4 != 0)
        out = decodeGroupGeneral(p + at / 4 * 4, at % 4, out);
    return p + at;
}

// A vector step that holds something other than hex digits: the line ends at its first CR or LF (the bits of
// lineEnds, one per character), or, without one, its groups are read one by one. Returns the line end or
// nullptr.
const char* decodeIrregularStep(const char* p, std::uint64_t lineEnds, std::size_t groups, char*& out)
{
    if (lineEnds == 0) {
        out = decodeGroupsScalar(p, groups, out);
        return nullptr;
    }
    const auto at = static_cast<std::size_t>(std::countr_zero(lineEnds));
    out = decodeGroupsScalar(p, at / 4, out);
    return finishAtLineEnd(p, at, out);
}

#ifdef ZT_DECODE_X86

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

// A table, as the popcnt instruction is not part of what SSSE3 machines are sure to have.
constexpr auto kBitCounts = makeBitCounts();

// Both vector paths read hex digits the same way, with two 16-entry lookups per character: one on the high
// half of the byte (0x3_ digits, 0x4_ and 0x6_ letters; a letter's entry also holds 9, which turns its low
// half into its value), one on the low half (0-9 for digits, 1-6 for letters; bytes of 0x80 and above look up
// 0). A character is a hex digit when both lookups agree.
constexpr std::int8_t DigitRow = -0x80;
constexpr std::int8_t LetterRow = 0x40 | 9;
constexpr std::int8_t DigitCol = -0x80;
constexpr std::int8_t BothCol = -0x80 | 0x40;

#define ZT_HIGH_HALF_CLASSES 0, 0, 0, DigitRow, LetterRow, 0, LetterRow, 0, 0, 0, 0, 0, 0, 0, 0, 0
#define ZT_LOW_HALF_CLASSES                                                                                            \
    DigitCol, BothCol, BothCol, BothCol, BothCol, BothCol, BothCol, DigitCol, DigitCol, DigitCol, 0, 0, 0, 0, 0, 0

// Where a line ends inside a vector step and every character before the end is a hex digit, the step is
// decoded as usual and only the groups before the end are kept (the part of a group that the end cuts is
// then read on its own). For each count of groups kept, the bits of the two-byte mask that belong to them
// (groups 0-7 in bits 0-7, groups 8-15 in bits 16-23).
constexpr std::array<std::uint32_t, 17> makeKeptGroupBits()
{
    std::array<std::uint32_t, 17> t{};
    for (unsigned k = 0; k <= 16; ++k)
        t[k] = k <= 8 ? (1u << k) - 1 : 0xFFu | ((1u << (k - 8)) - 1) << 16;
    return t;
}

constexpr auto kKeptGroupBits = makeKeptGroupBits();

// Eight groups (32 characters) per step. A step holding anything but hex digits goes group by group (unless a
// line end it holds comes first, as above), so every path gives the same bytes.
template <bool ToLineEnd>
__attribute__((target("ssse3"))) const char* decodeSsse3(const char* p, const char* end, char*& out)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i lowHalf = _mm_set1_epi8(0x0F);
    const __m128i highClasses = _mm_setr_epi8(ZT_HIGH_HALF_CLASSES);
    const __m128i lowClasses = _mm_setr_epi8(ZT_LOW_HALF_CLASSES);
    const __m128i newline = _mm_set1_epi32(static_cast<int>(NewlineGroup));
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nibbleWeights = _mm_set1_epi16(0x0110); // first character * 16 + second
    const __m128i plainFrom = _mm_set1_epi16(0x20);
    const __m128i plainTo = _mm_set1_epi16(0x7E);
    const __m128i backQuote = _mm_set1_epi16('`');

    char* o = out;
    // A step that is not all digits leaves the inner loop to be read group by group: a call inside the loop
    // would make the compiler rebuild the constants around it on every step.
    for (;;) {
        std::uint64_t irregularEnds = 0;
        bool irregular = false;
        while (end - p >= 32) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
            const __m128i highA = _mm_shuffle_epi8(highClasses, _mm_and_si128(_mm_srli_epi16(a, 4), lowHalf));
            const __m128i highB = _mm_shuffle_epi8(highClasses, _mm_and_si128(_mm_srli_epi16(b, 4), lowHalf));
            const __m128i hexA = _mm_and_si128(highA, _mm_shuffle_epi8(lowClasses, a));
            const __m128i hexB = _mm_and_si128(highB, _mm_shuffle_epi8(lowClasses, b));
            std::size_t lineEnd = 32; // position of the line's end in this step, if any
            if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(hexA, hexB), zero)) != 0) [[unlikely]] {
                std::uint32_t ends = 0;
                if constexpr (ToLineEnd) {
                    const auto endsOf = [&](__m128i c) {
                        return static_cast<std::uint32_t>(
                            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(c, cr), _mm_cmpeq_epi8(c, lf))));
                    };
                    ends = endsOf(a) | endsOf(b) << 16;
                }
                const auto notHex = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(hexA, zero))) |
                                    static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(hexB, zero))) << 16;
                if (ends == 0 || (notHex & ((ends & -ends) - 1)) != 0) {
                    irregularEnds = ends; // handled below, out of this loop
                    irregular = true;
                    break;
                }
                lineEnd = static_cast<std::size_t>(std::countr_zero(ends));
            }
            const __m128i na = _mm_add_epi8(_mm_and_si128(a, lowHalf), _mm_and_si128(highA, lowHalf));
            const __m128i nb = _mm_add_epi8(_mm_and_si128(b, lowHalf), _mm_and_si128(highB, lowHalf));
            // Per group, bytes hi lo: the values of its two digit pairs.
            const __m128i v =
                _mm_packus_epi16(_mm_maddubs_epi16(na, nibbleWeights), _mm_maddubs_epi16(nb, nibbleWeights));
            const __m128i newlines = _mm_packs_epi32(_mm_cmpeq_epi32(a, newline), _mm_cmpeq_epi32(b, newline));
            const __m128i hiUp = _mm_slli_epi16(v, 8);
            const __m128i lo = _mm_srli_epi16(v, 8);
            const __m128i loZero = _mm_cmpeq_epi16(lo, zero);
            const __m128i plain = _mm_andnot_si128(
                _mm_cmpeq_epi16(lo, backQuote),
                _mm_andnot_si128(_mm_or_si128(_mm_cmplt_epi16(lo, plainFrom), _mm_cmpgt_epi16(lo, plainTo)),
                                 _mm_cmpeq_epi16(zero, zero)));
            // One byte when lo is 0 (the byte hi), or for a plain "00xx" (the byte lo). Two bytes lo then hi, but
            // for a newline group hi then lo (0D 0A), the order they already have.
            const __m128i single = _mm_or_si128(loZero, _mm_and_si128(_mm_cmpeq_epi16(hiUp, zero), plain));
            const __m128i keepOrder = _mm_or_si128(loZero, newlines);
            const __m128i pairs =
                _mm_or_si128(_mm_and_si128(keepOrder, v), _mm_andnot_si128(keepOrder, _mm_or_si128(hiUp, lo)));
            const unsigned twoByte = static_cast<unsigned>(_mm_movemask_epi8(_mm_packs_epi16(single, zero))) ^ 0xFFu;
            const __m128i shuffle = _mm_load_si128(reinterpret_cast<const __m128i*>(kCompactShuffles[twoByte].data()));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm_shuffle_epi8(pairs, shuffle));
            if (lineEnd < 32) [[unlikely]] {
                o += lineEnd / 4 + kBitCounts[twoByte & kKeptGroupBits[lineEnd / 4]];
                out = o;
                return finishAtLineEnd(p, lineEnd, out);
            }
            o += 8 + kBitCounts[twoByte];
            p += 32;
        }
        if (!irregular)
            break;
        char* at = o;
        const char* stop = decodeIrregularStep(p, irregularEnds, 8, at);
        o = at;
        if (stop) {
            out = o;
            return stop;
        }
        p += 32;
    }
    out = o;
    if constexpr (ToLineEnd)
        return decodeLinePartScalar(p, end, out);
    const auto groups = static_cast<std::size_t>(end - p) / 4;
    out = decodeGroupsScalar(p, groups, out);
    return p + groups * 4;
}

// Sixteen groups (64 characters) per step, the same reading as the SSSE3 step. The 128-bit halves of the
// packing instructions interleave the two loads; one 64-bit permute puts the groups back in order, and each
// half is then packed by the eight-group shuffle table.
template <bool ToLineEnd>
__attribute__((target("avx2,popcnt"))) const char* decodeAvx2(const char* p, const char* end, char*& out)
{
    constexpr int InOrder = 0xD8; // 64-bit quarters 0, 2, 1, 3
    const __m256i zero = _mm256_setzero_si256();
    const __m256i lowHalf = _mm256_set1_epi8(0x0F);
    const __m256i highClasses = _mm256_setr_epi8(ZT_HIGH_HALF_CLASSES, ZT_HIGH_HALF_CLASSES);
    const __m256i lowClasses = _mm256_setr_epi8(ZT_LOW_HALF_CLASSES, ZT_LOW_HALF_CLASSES);
    const __m256i newline = _mm256_set1_epi32(static_cast<int>(NewlineGroup));
    const __m256i cr = _mm256_set1_epi8('\r');
    const __m256i lf = _mm256_set1_epi8('\n');
    const __m256i nibbleWeights = _mm256_set1_epi16(0x0110);
    const __m256i plainFrom = _mm256_set1_epi16(0x20);
    const __m256i plainSpan = _mm256_set1_epi16(0x7E - 0x20);
    const __m256i backQuote = _mm256_set1_epi16('`');

    char* o = out;
    // A step that is not all digits leaves the inner loop to be read group by group: a call inside the loop
    // would make the compiler rebuild the constants around it on every step.
    for (;;) {
        std::uint64_t irregularEnds = 0;
        bool irregular = false;
        while (end - p >= 64) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
            const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
            const __m256i highA = _mm256_shuffle_epi8(highClasses, _mm256_and_si256(_mm256_srli_epi16(a, 4), lowHalf));
            const __m256i highB = _mm256_shuffle_epi8(highClasses, _mm256_and_si256(_mm256_srli_epi16(b, 4), lowHalf));
            const __m256i hexA = _mm256_and_si256(highA, _mm256_shuffle_epi8(lowClasses, a));
            const __m256i hexB = _mm256_and_si256(highB, _mm256_shuffle_epi8(lowClasses, b));
            const __m256i anyNotHex = _mm256_cmpeq_epi8(_mm256_min_epu8(hexA, hexB), zero);
            std::size_t lineEnd = 64; // position of the line's end in this step, if any
            if (!_mm256_testz_si256(anyNotHex, anyNotHex)) [[unlikely]] {
                std::uint64_t ends = 0;
                if constexpr (ToLineEnd) {
                    // Not a lambda: a lambda would not share this function's instruction set.
                    const __m256i endsA = _mm256_or_si256(_mm256_cmpeq_epi8(a, cr), _mm256_cmpeq_epi8(a, lf));
                    const __m256i endsB = _mm256_or_si256(_mm256_cmpeq_epi8(b, cr), _mm256_cmpeq_epi8(b, lf));
                    ends = static_cast<std::uint32_t>(_mm256_movemask_epi8(endsA)) |
                           std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(endsB))) << 32;
                }
                const std::uint64_t notHex =
                    static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hexA, zero))) |
                    std::uint64_t(static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(hexB, zero))))
                        << 32;
                if (ends == 0 || (notHex & ((ends & -ends) - 1)) != 0) {
                    irregularEnds = ends; // handled below, out of this loop
                    irregular = true;
                    break;
                }
                lineEnd = static_cast<std::size_t>(std::countr_zero(ends));
            }
            const __m256i na = _mm256_add_epi8(_mm256_and_si256(a, lowHalf), _mm256_and_si256(highA, lowHalf));
            const __m256i nb = _mm256_add_epi8(_mm256_and_si256(b, lowHalf), _mm256_and_si256(highB, lowHalf));
            // Per group, bytes hi lo: the values of its two digit pairs.
            const __m256i v = _mm256_permute4x64_epi64(
                _mm256_packus_epi16(_mm256_maddubs_epi16(na, nibbleWeights), _mm256_maddubs_epi16(nb, nibbleWeights)),
                InOrder);
            const __m256i newlines = _mm256_permute4x64_epi64(
                _mm256_packs_epi32(_mm256_cmpeq_epi32(a, newline), _mm256_cmpeq_epi32(b, newline)), InOrder);
            const __m256i hiUp = _mm256_slli_epi16(v, 8);
            const __m256i lo = _mm256_srli_epi16(v, 8);
            const __m256i loZero = _mm256_cmpeq_epi16(lo, zero);
            // lo - 0x20 at most 0x7E - 0x20, counted without sign, and no back quote.
            const __m256i fromSpace = _mm256_sub_epi16(lo, plainFrom);
            const __m256i plain =
                _mm256_andnot_si256(_mm256_cmpeq_epi16(lo, backQuote),
                                    _mm256_cmpeq_epi16(_mm256_min_epu16(fromSpace, plainSpan), fromSpace));
            // One byte when lo is 0 (the byte hi), or for a plain "00xx" (the byte lo). Two bytes lo then hi, but
            // for a newline group hi then lo (0D 0A), the order they already have.
            const __m256i single = _mm256_or_si256(loZero, _mm256_and_si256(_mm256_cmpeq_epi16(hiUp, zero), plain));
            const __m256i pairs = _mm256_blendv_epi8(_mm256_or_si256(hiUp, lo), v, _mm256_or_si256(loZero, newlines));
            // Bits 0-7: groups 0-7, bits 16-23: groups 8-15.
            const unsigned twoByte = ~static_cast<unsigned>(_mm256_movemask_epi8(_mm256_packs_epi16(single, zero)));
            const unsigned low = twoByte & 0xFF;
            const unsigned high = twoByte >> 16 & 0xFF;
            const __m256i shuffle = _mm256_inserti128_si256(
                _mm256_castsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(kCompactShuffles[low].data()))),
                _mm_load_si128(reinterpret_cast<const __m128i*>(kCompactShuffles[high].data())), 1);
            const __m256i packed = _mm256_shuffle_epi8(pairs, shuffle);
            const auto lowBytes = 8 + static_cast<unsigned>(_mm_popcnt_u32(low));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), _mm256_castsi256_si128(packed));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o + lowBytes), _mm256_extracti128_si256(packed, 1));
            if (lineEnd < 64) [[unlikely]] {
                o += lineEnd / 4 + static_cast<unsigned>(_mm_popcnt_u32(twoByte & kKeptGroupBits[lineEnd / 4]));
                out = o;
                return finishAtLineEnd(p, lineEnd, out);
            }
            o += 16 + static_cast<unsigned>(_mm_popcnt_u32(twoByte & 0x00FF00FFu));
            p += 64;
        }
        if (!irregular)
            break;
        char* at = o;
        const char* stop = decodeIrregularStep(p, irregularEnds, 16, at);
        o = at;
        if (stop) {
            out = o;
            return stop;
        }
        p += 64;
    }
    out = o;
    if constexpr (ToLineEnd)
        return decodeSsse3<true>(p, end, out);
    return decodeSsse3<false>(p, end, out);
}

// For the AVX-512 step: each character below 0x80 looked up in one 128-entry table, giving its value as a
// hex digit, or 0x80 when it is none.
constexpr std::array<std::uint8_t, 128> makeDigitValues()
{
    std::array<std::uint8_t, 128> t{};
    for (unsigned c = 0; c < 128; ++c) {
        const int d = hexDigit(static_cast<unsigned char>(c));
        t[c] = static_cast<std::uint8_t>(d < 0 ? 0x80 : d);
    }
    return t;
}

alignas(64) constexpr auto kDigitValues = makeDigitValues();

#define ZT_TARGET_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi,avx512vbmi2,bmi2,popcnt")))

// Thirty-two groups (128 characters) per step, the same reading again: a byte permute reads and checks the
// digits, and the kept bytes are packed by a compress instruction instead of the shuffle tables.
template <bool ToLineEnd> ZT_TARGET_AVX512 const char* decodeAvx512(const char* p, const char* end, char*& out)
{
    const __m512i values0 = _mm512_load_si512(kDigitValues.data());
    const __m512i values1 = _mm512_load_si512(kDigitValues.data() + 64);
    const __m512i nibbleWeights = _mm512_set1_epi16(0x0110);
    const __m512i newline = _mm512_set1_epi32(static_cast<int>(NewlineGroup));
    const __m512i inOrder = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    const __m512i loByte = _mm512_set1_epi16(static_cast<short>(0xFF00));
    const __m512i hiByte = _mm512_set1_epi16(0x00FF);
    const __m512i plainFrom = _mm512_set1_epi16(0x20);
    const __m512i plainSpan = _mm512_set1_epi16(0x7E - 0x20);
    const __m512i backQuote = _mm512_set1_epi16('`');
    const __m512i cr = _mm512_set1_epi8('\r');
    const __m512i lf = _mm512_set1_epi8('\n');
    constexpr std::uint64_t FirstBytes = 0x5555555555555555u;

    char* o = out;
    // A step that is not all digits leaves the inner loop to be read group by group: a call inside the loop
    // would make the compiler rebuild the constants around it on every step.
    for (;;) {
        std::uint64_t irregularEnds[2] = {};
        bool irregular = false;
        while (end - p >= 128) {
            const __m512i a = _mm512_loadu_si512(p);
            const __m512i b = _mm512_loadu_si512(p + 64);
            const __m512i va = _mm512_permutex2var_epi8(values0, a, values1);
            const __m512i vb = _mm512_permutex2var_epi8(values0, b, values1);
            // Not a digit: the table says so, or the byte is 0x80 or above.
            const std::uint64_t notHexA = _mm512_movepi8_mask(_mm512_or_si512(va, a));
            const std::uint64_t notHexB = _mm512_movepi8_mask(_mm512_or_si512(vb, b));
            std::size_t lineEnd = 128; // position of the line's end in this step, if any
            if ((notHexA | notHexB) != 0) [[unlikely]] {
                std::uint64_t endsA = 0;
                std::uint64_t endsB = 0;
                if constexpr (ToLineEnd) {
                    endsA = _mm512_cmpeq_epi8_mask(a, cr) | _mm512_cmpeq_epi8_mask(a, lf);
                    endsB = _mm512_cmpeq_epi8_mask(b, cr) | _mm512_cmpeq_epi8_mask(b, lf);
                }
                bool clean = false; // every character before the line end is a digit
                if (endsA != 0) {
                    lineEnd = static_cast<std::size_t>(std::countr_zero(endsA));
                    clean = (notHexA & ((endsA & -endsA) - 1)) == 0;
                } else if (endsB != 0) {
                    lineEnd = 64 + static_cast<std::size_t>(std::countr_zero(endsB));
                    clean = notHexA == 0 && (notHexB & ((endsB & -endsB) - 1)) == 0;
                }
                if (!clean) {
                    irregularEnds[0] = endsA; // handled below, out of this loop
                    irregularEnds[1] = endsB;
                    irregular = true;
                    break;
                }
            }
            // Per group, bytes hi lo: the values of its two digit pairs; groups 0-15 from a, 16-31 from b.
            // (The zero-masking permute: GCC 12 warns about the undefined source of the plain one.)
            const __m512i v = _mm512_maskz_permutexvar_epi64(
                0xFF, inOrder,
                _mm512_packus_epi16(_mm512_maddubs_epi16(va, nibbleWeights), _mm512_maddubs_epi16(vb, nibbleWeights)));
            const std::uint32_t newlines = static_cast<std::uint32_t>(_mm512_cmpeq_epi32_mask(a, newline)) |
                                           static_cast<std::uint32_t>(_mm512_cmpeq_epi32_mask(b, newline)) << 16;
            const std::uint32_t loZero = _mm512_testn_epi16_mask(v, loByte);
            const __m512i lo = _mm512_srli_epi16(v, 8);
            const __mmask32 printable = _mm512_cmple_epu16_mask(_mm512_sub_epi16(lo, plainFrom), plainSpan);
            const __mmask32 plain = _mm512_mask_cmpneq_epi16_mask(printable, lo, backQuote);
            const std::uint32_t single = loZero | _mm512_mask_testn_epi16_mask(plain, v, hiByte);
            // Two bytes lo then hi, but for a newline group (and a single hi) the order they already have.
            const __m512i pairs = _mm512_mask_mov_epi16(_mm512_shldi_epi16(v, v, 8), loZero | newlines, v);
            std::uint64_t kept = FirstBytes | _pdep_u64(~single, ~FirstBytes);
            if (lineEnd < 128) [[unlikely]]
                kept &= (std::uint64_t(1) << (lineEnd / 4 * 2)) - 1;
            _mm512_storeu_si512(o, _mm512_maskz_compress_epi8(kept, pairs));
            o += _mm_popcnt_u64(kept);
            if (lineEnd < 128) [[unlikely]] {
                out = o;
                return finishAtLineEnd(p, lineEnd, out);
            }
            p += 128;
        }
        if (!irregular)
            break;
        char* at = o;
        const char* stop = decodeIrregularStep(p, irregularEnds[0], 16, at);
        if (!stop)
            stop = decodeIrregularStep(p + 64, irregularEnds[1], 16, at);
        o = at;
        if (stop) {
            out = o;
            return stop;
        }
        p += 128;
    }
    out = o;
    if constexpr (ToLineEnd)
        return decodeAvx2<true>(p, end, out);
    return decodeAvx2<false>(p, end, out);
}

#undef ZT_TARGET_AVX512

#undef ZT_HIGH_HALF_CLASSES
#undef ZT_LOW_HALF_CLASSES

#endif

template <const char* (*Decode)(const char*, const char*, char*&)>
char* groupsVia(const char* in, std::size_t groups, char* out)
{
    Decode(in, in + 4 * groups, out);
    return out;
}

struct Path
{
    DecodePath path;
    char* (*groups)(const char*, std::size_t, char*);
    const char* (*linePart)(const char*, const char*, char*&);
};

constexpr Path kPaths[] = {
    {DecodePath::Plain, decodeGroupsScalar, decodeLinePartScalar},
#ifdef ZT_DECODE_X86
    {DecodePath::Ssse3, groupsVia<decodeSsse3<false>>, decodeSsse3<true>},
    {DecodePath::Avx2, groupsVia<decodeAvx2<false>>, decodeAvx2<true>},
    {DecodePath::Avx512, groupsVia<decodeAvx512<false>>, decodeAvx512<true>},
#endif
};

bool runs(DecodePath path)
{
#ifdef ZT_DECODE_X86
    __builtin_cpu_init();
    switch (path) {
    case DecodePath::Plain: return true;
    case DecodePath::Ssse3: return __builtin_cpu_supports("ssse3");
    case DecodePath::Avx2: return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("popcnt");
    case DecodePath::Avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
               __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("avx512vbmi2") &&
               __builtin_cpu_supports("bmi2") && __builtin_cpu_supports("popcnt");
    }
    return false;
#else
    return path == DecodePath::Plain;
#endif
}

const Path* widestPath()
{
    for (auto it = std::rbegin(kPaths); it != std::rend(kPaths); ++it) {
        if (runs(it->path))
            return &*it;
    }
    return &kPaths[0];
}

std::atomic<const Path*> gPath{nullptr};

const Path& activePath()
{
    const Path* path = gPath.load(std::memory_order_relaxed);
    if (!path) [[unlikely]] {
        path = widestPath();
        gPath.store(path, std::memory_order_relaxed);
    }
    return *path;
}

} // namespace

char* DecodeLineTo(const char* in, std::size_t n, char* out) noexcept
{
    out = activePath().groups(in, n / 4, out);
    if (const std::size_t rest = n % 4)
        out = decodeGroupGeneral(in + n - rest, rest, out);
    return out;
}

const char* DecodeLinePart(const char* in, const char* end, char*& out) noexcept
{
    return activePath().linePart(in, end, out);
}

DecodePath ActiveDecodePath() noexcept
{
    return activePath().path;
}

bool UseDecodePath(DecodePath path) noexcept
{
    for (const Path& candidate : kPaths) {
        if (candidate.path == path && runs(path)) {
            gPath.store(&candidate, std::memory_order_relaxed);
            return true;
        }
    }
    return false;
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
