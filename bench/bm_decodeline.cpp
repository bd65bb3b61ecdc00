// Micro-benchmark of the line decoder on realistic lines (ASCII as "xx00", Korean code-page-949 codes low
// byte first, the odd "0D0A"), and on lines full of characters that take the careful path.
#include "DecodeLine.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

#include <random>
#include <string>

namespace {

QByteArray realisticLine(int hexDigits, unsigned seed)
{
    std::mt19937 rng(seed);
    static const char digits[] = "0123456789ABCDEF";
    auto put = [&](QByteArray& s, unsigned byte) {
        s += digits[byte >> 4];
        s += digits[byte & 15];
    };
    QByteArray line;
    while (line.size() < hexDigits) {
        const unsigned kind = rng() % 100;
        if (kind < 65) { // ASCII letter, digit or mark
            put(line, 0x20 + rng() % 0x5F);
            line += "00";
        } else if (kind < 99) { // Hangul syllable: trail byte, then lead byte
            put(line, 0xA1 + rng() % 0x5E);
            put(line, 0xB0 + rng() % 0x19);
        } else {
            line += "0D0A";
        }
    }
    line.truncate(hexDigits);
    return line;
}

// The decode path named by the benchmark's second argument (0 plain, 1 SSSE3, 2 AVX2, 3 AVX-512); false,
// with the benchmark skipped, when this processor cannot run it.
bool usePath(benchmark::State& state)
{
    const auto path = static_cast<decoder::DecodePath>(state.range(1));
    if (!decoder::UseDecodePath(path)) {
        state.SkipWithError("this processor cannot run this path");
        return false;
    }
    static const char* const names[] = {"plain", "ssse3", "avx2", "avx512"};
    state.SetLabel(names[state.range(1)]);
    return true;
}

// Decodes line over and over into one buffer that keeps its capacity.
void decodeAppending(benchmark::State& state, const QByteArray& line)
{
    QByteArray out;
    for (auto _ : state) {
        out.resize(0);
        decoder::DecodeLineAppend(line, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * line.size());
}

void decodeRealistic(benchmark::State& state)
{
    if (!usePath(state))
        return;
    const QByteArray line = realisticLine(static_cast<int>(state.range(0)), 949);
    decodeAppending(state, line);
}
BENCHMARK(decodeRealistic)->ArgsProduct({{450, 4500, 9000}, {0, 1, 2, 3}});

// Lines with their CR LF, as the decode driver reads them: each line found and decoded in one pass.
void decodeLineParts(benchmark::State& state)
{
    if (!usePath(state))
        return;
    QByteArray text;
    for (unsigned seed = 0; text.size() < 1 << 20; ++seed)
        text += realisticLine(static_cast<int>(450 + seed * 2477 % 8550), seed) + "\r\n";
    QByteArray out(static_cast<qsizetype>(decoder::MaxDecodedSize(static_cast<std::size_t>(text.size()))), '\0');
    for (auto _ : state) {
        const char* p = text.constData();
        const char* const end = p + text.size();
        char* o = out.data();
        while (p < end) {
            p = decoder::DecodeLinePart(p, end, o);
            p += (p < end && *p == '\r') ? 2 : 1;
        }
        benchmark::DoNotOptimize(o);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * text.size());
}
BENCHMARK(decodeLineParts)->ArgsProduct({{0}, {0, 1, 2, 3}});

void decodeRealisticNewArray(benchmark::State& state)
{
    if (!usePath(state))
        return;
    const QByteArray line = realisticLine(static_cast<int>(state.range(0)), 949);
    for (auto _ : state) {
        QByteArray out = decoder::DecodeLine(line);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * line.size());
}
BENCHMARK(decodeRealisticNewArray)->Args({4500, 2});

// Every group holds a character that is not a hex digit, so every group is read the careful way.
void decodeNotHex(benchmark::State& state)
{
    if (!usePath(state))
        return;
    QByteArray line = realisticLine(static_cast<int>(state.range(0)), 7);
    for (qsizetype i = 1; i < line.size(); i += 4)
        line[i] = 'G';
    decodeAppending(state, line);
}
BENCHMARK(decodeNotHex)->ArgsProduct({{4500}, {0, 2, 3}});

} // namespace
