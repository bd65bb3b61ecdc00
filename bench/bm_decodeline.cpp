// Micro-benchmark of the line decoder on realistic lines (ASCII as "xx00", Korean code-page-949 codes low
// byte first, the odd "0D0A"), and on lines full of characters that take the careful path.
#include "DecodeLine.h"

#include <benchmark/benchmark.h>

#include <QByteArray>

#include <random>

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

void decodeRealistic(benchmark::State& state)
{
    const QByteArray line = realisticLine(static_cast<int>(state.range(0)), 949);
    QByteArray out;
    for (auto _ : state) {
        out.resize(0); // keeps the capacity
        decoder::DecodeLineAppend(line, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * line.size());
}
BENCHMARK(decodeRealistic)->Arg(450)->Arg(4500)->Arg(9000);

void decodeRealisticNewArray(benchmark::State& state)
{
    const QByteArray line = realisticLine(static_cast<int>(state.range(0)), 949);
    for (auto _ : state) {
        QByteArray out = decoder::DecodeLine(line);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * line.size());
}
BENCHMARK(decodeRealisticNewArray)->Arg(4500);

// Every group holds a character that is not a hex digit, so every group is read the careful way.
void decodeNotHex(benchmark::State& state)
{
    QByteArray line = realisticLine(static_cast<int>(state.range(0)), 7);
    for (qsizetype i = 1; i < line.size(); i += 4)
        line[i] = 'G';
    QByteArray out;
    for (auto _ : state) {
        out.resize(0); // keeps the capacity
        decoder::DecodeLineAppend(line, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * line.size());
}
BENCHMARK(decodeNotHex)->Arg(4500);

} // namespace
