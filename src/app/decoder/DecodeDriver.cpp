#include "DecodeDriver.h"

#include "DecodeLine.h"

#include "RawFile.h"
#include "ReplacementFile.h"

#include <QFileInfo>

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace decoder {

namespace {

using platform::FileId;
using platform::RawFile;
using platform::Result;
namespace vberr = platform::vberr;

qint64 roundHalfEven(qint64 num, qint64 den)
{
    qint64 q = num / den;
    const qint64 twice = 2 * (num % den);
    if (twice > den || (twice == den && (q & 1)))
        ++q;
    return q;
}

// Reports the percent for a read position, only when it changes, and then asks whether to stop.
class ProgressReporter final
{
public:
    ProgressReporter(const Progress& progress, const StopRequested& stopRequested, qint64 length)
        : m_progress(progress), m_stopRequested(stopRequested), m_length(length)
    {
    }

    /** False once the caller asked to stop. */
    bool show(int percent)
    {
        if (percent != m_last && m_progress) {
            m_last = percent;
            m_progress(percent);
            if (m_stopRequested && m_stopRequested())
                m_stopped = true;
        }
        return !m_stopped;
    }
    bool at(qint64 position) { return show(ProgressPercent(position, m_length)); }

private:
    const Progress& m_progress;
    const StopRequested& m_stopRequested;
    qint64 m_length;
    int m_last = -1;
    bool m_stopped = false;
};

constexpr std::size_t Block = static_cast<std::size_t>(ReadBlockSize);

bool isLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

// The last CR or LF in [begin, end), or nullptr; eight bytes at a time, since a line may be a block long.
const char* lastLineEnd(const char* begin, const char* end)
{
    constexpr std::uint64_t Ones = 0x0101010101010101u;
    const auto hasZeroByte = [](std::uint64_t x) { return ((x - Ones) & ~x & (Ones << 7)) != 0; };
    const char* p = end;
    while (p - begin >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p - 8, 8);
        if (hasZeroByte(word ^ (Ones * '\r')) || hasZeroByte(word ^ (Ones * '\n')))
            break;
        p -= 8;
    }
    while (p > begin) {
        if (isLineEnd(*--p))
            return p;
    }
    return nullptr;
}

// What the two workers of one decode agree on, chunk by chunk in file order: where the groups stand at a
// chunk's start (known once the chunk before was read), whose turn it is to write, and how the decode ended.
class Turns final
{
public:
    enum class Outcome { Running, Whole, Stopped, Failed };

    /** The characters of the current group that lie before chunk k, once known; none once the decode ended
     *  (a chunk that showed up after the last one, in a growing file, is not waited for). */
    std::optional<int> phaseAt(std::size_t k)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_outcome != Outcome::Running || m_phaseChunk == k; });
        if (m_outcome != Outcome::Running)
            return std::nullopt;
        return m_phase;
    }
    void setPhase(std::size_t k, int phase)
    {
        update([&] { m_phaseChunk = k, m_phase = phase; });
    }

    /** Waits until every chunk before k is written; false when the decode ended first. */
    bool turnToWrite(std::size_t k)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_outcome != Outcome::Running || m_nextToWrite == k; });
        return m_outcome == Outcome::Running;
    }
    void written(std::size_t k)
    {
        update([&] { m_nextToWrite = k + 1; });
    }

    /** Ends the decode, on the turn of the chunk that ends it; error says why it failed. */
    void end(Outcome outcome, platform::VbError error = {})
    {
        update([&] {
            m_outcome = outcome;
            m_error = std::move(error);
        });
    }
    Outcome outcome()
    {
        const std::lock_guard lock(m_mutex);
        return m_outcome;
    }
    platform::VbError error()
    {
        const std::lock_guard lock(m_mutex);
        return m_error;
    }

private:
    template <class F> void update(F change)
    {
        {
            const std::lock_guard lock(m_mutex);
            change();
        }
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::size_t m_phaseChunk = 0;
    int m_phase = 0;
    std::size_t m_nextToWrite = 0;
    Outcome m_outcome = Outcome::Running;
    platform::VbError m_error;
};

// One of the two workers of a decode. The input is cut into chunks of a block; the workers take every other
// chunk, each reading, decoding and writing its own, so no data passes from one core to the other and only
// the order of the writes is shared. A chunk is read with the byte before it (for a CR LF cut in two) and up
// to three after it (to finish a group the chunk's end cuts); a group belongs to the chunk it starts in.
class Worker final
{
public:
    static constexpr std::size_t Page = 4096;
    static constexpr std::size_t OutCapacity = 2 * (Block + 4) + 16; // at most two bytes out per byte in

    Worker(RawFile& in, RawFile& out, Turns& turns, std::size_t first, ProgressReporter* reporter)
        : m_in(in), m_out(out), m_turns(turns), m_first(first), m_reporter(reporter),
          m_inStorage(std::make_unique_for_overwrite<char[]>(2 * Page + Block + 8)),
          m_outBuf(std::make_unique_for_overwrite<char[]>(OutCapacity))
    {
        // The chunk starts on a page: read to a few bytes past a page start (where malloc puts large blocks),
        // the kernel's copy from the page cache stalls on 4 KiB aliasing; the whole decode took a third longer.
        m_data = m_inStorage.get() + Page + (Page - reinterpret_cast<std::uintptr_t>(m_inStorage.get()) % Page) % Page;
    }

    /** Decodes and writes chunks first, first + 2, ... until the input ends or the decode ends. */
    void run()
    {
        for (std::size_t k = m_first;; k += 2) {
            if (!chunk(k))
                return;
        }
    }

private:
    // False when nothing follows for this worker.
    bool chunk(std::size_t k)
    {
        const qint64 start = qint64(k) * qint64(Block);
        const qint64 before = k > 0 ? 1 : 0;
        const Result<qint64> read = readFully(start - before, m_data - before, qint64(Block) + 3 + before);
        if (!read) {
            if (m_turns.turnToWrite(k))
                m_turns.end(Turns::Outcome::Failed, read.error());
            return false;
        }
        if (*read <= before)
            return false; // the input ended before this chunk
        const std::size_t got = static_cast<std::size_t>(*read - before);
        const std::size_t size = std::min(got, Block);
        const bool last = got == size; // nothing after it

        const std::optional<int> phase = m_turns.phaseAt(k);
        if (!phase)
            return false;
        const char* const end = m_data + size;
        if (!last) {
            const char* const lineEnd = lastLineEnd(m_data, end);
            m_turns.setPhase(k + 1, lineEnd ? static_cast<int>((end - lineEnd - 1) % 4) : *phase);
        }

        const char* p = m_data;
        // The LF of a CR LF that the chunk boundary cut ends no line; the rest of the group the chunk before
        // began is that chunk's.
        if (before && m_data[-1] == '\r' && *p == '\n')
            ++p;
        for (int rest = (4 - *phase) % 4; rest > 0 && p < end && !isLineEnd(*p); --rest)
            ++p;
        char* o = m_outBuf.get();
        while (p < end) {
            // One pass finds the line's end and decodes up to it.
            const char* const eol = DecodeLinePart(p, end, o);
            if (eol == end)
                break;
            if (!isLineEnd(*eol)) {
                // A group cut by the chunk's end, finished from the bytes after it (up to a line's end).
                const char* groupEnd = end;
                while (groupEnd - eol < 4 && groupEnd < end + (got - size) && !isLineEnd(*groupEnd))
                    ++groupEnd;
                o = DecodeLineTo(eol, static_cast<std::size_t>(groupEnd - eol), o);
                break;
            }
            *o++ = '\r';
            *o++ = '\n';
            p = eol + 1;
            if (*eol == '\r' && p < end && *p == '\n')
                ++p;
            if (m_reporter && !m_reporter->at(start + (p - m_data))) {
                // Earlier chunks' writes come first, as their errors would have.
                if (m_turns.turnToWrite(k))
                    m_turns.end(Turns::Outcome::Stopped);
                return false;
            }
        }
        if (last && !isLineEnd(end[-1])) {
            *o++ = '\r';
            *o++ = '\n';
        }

        if (!m_turns.turnToWrite(k))
            return false;
        if (auto written = m_out.writeAll(m_outBuf.get(), o - m_outBuf.get()); !written) {
            m_turns.end(Turns::Outcome::Failed, written.error());
            return false;
        }
        if (last)
            m_turns.end(Turns::Outcome::Whole);
        else
            m_turns.written(k);
        return !last;
    }

    // Reads until size bytes are there or the input ends.
    Result<qint64> readFully(qint64 offset, char* data, qint64 size)
    {
        qint64 done = 0;
        while (done < size) {
            const Result<qint64> got = m_in.readAt(offset + done, data + done, size - done);
            if (!got)
                return got;
            if (*got == 0)
                break;
            done += *got;
        }
        return done;
    }

    RawFile& m_in;
    RawFile& m_out;
    Turns& m_turns;
    const std::size_t m_first;
    ProgressReporter* const m_reporter;
    const std::unique_ptr<char[]> m_inStorage;
    const std::unique_ptr<char[]> m_outBuf;
    char* m_data = nullptr;
};

} // namespace

QString OutputPathFor(const QString& inputPath)
{
    const qsizetype nameStart = inputPath.lastIndexOf(QLatin1Char('/')) + 1;
    const qsizetype nameLength = inputPath.size() - nameStart;
    // Dropping four characters of a shorter name would cut into the folder part.
    if (nameLength < 5)
        return inputPath + QStringLiteral(".sql");
    return inputPath.left(inputPath.size() - 4) + QStringLiteral(".sql");
}

int ProgressPercent(qint64 position, qint64 length)
{
    const qint64 step = roundHalfEven(length, 100);
    if (step <= 0)
        return 100;
    const qint64 blocks = (position + 127) / 128 * 128;
    return static_cast<int>(std::min<qint64>(roundHalfEven(blocks, step), 100));
}

Result<void> DecodeFile(const QString& inputPath, const Progress& progress, const StopRequested& stopRequested,
                        UnremovedFile* unremoved)
{
    RawFile in;
    if (auto opened = in.openRead(inputPath); !opened)
        return opened;
    const Result<RawFile::Info> input = in.info();
    if (!input)
        return input.error();
    if (input->kind != RawFile::Kind::Regular)
        return platform::makeVbError(vberr::PathFileAccessError);
    const qint64 length = input->size;

    // The second worker reads through a handle of its own, so that neither waits on the other's reads.
    RawFile secondIn;
    if (auto opened = secondIn.openRead(inputPath); !opened)
        return opened;
    if (const Result<RawFile::Info> second = secondIn.info(); !second || second->id != input->id)
        return second ? platform::makeVbError(vberr::FileNotFound) : second.error();

    // The output's name must never be the input's (the same name, or a link to it): the log would be lost to
    // its own decode. Nor can a folder give up its name to a file.
    const QString outputPath = OutputPathFor(inputPath);
    if (const Result<FileId> existing = RawFile::identityOf(outputPath); existing && *existing == input->id)
        return platform::makeVbError(vberr::FileAlreadyOpen);
    if (QFileInfo(outputPath).isDir())
        return platform::makeVbError(vberr::PathFileAccessError);

    // The decode goes to a new file of its own, which takes the output's name only once it is whole: until then an
    // earlier output stays. Decodes of one log take turns at the swap.
    platform::ReplacementFile out;
    if (auto opened = out.open(outputPath, inputPath); !opened)
        return opened;

    const auto discardOutput = [&](const platform::VbError& why) {
        static_cast<void>(in.close());
        static_cast<void>(secondIn.close());
        const platform::ReplacementFile::Unremoved left = out.discard();
        if (!left.path.isEmpty() && unremoved)
            *unremoved = {left.path, left.reason};
        return why;
    };
    const auto stop = [&] { return discardOutput(platform::makeVbError(vberr::UserInterrupt)); };
    ProgressReporter reporter(progress, stopRequested, length);
    if (!reporter.show(0))
        return stop();

    Turns turns;
    Worker first(in, out.file(), turns, 0, &reporter);
    Worker other(secondIn, out.file(), turns, 1, nullptr);
    std::thread helper;
    try {
        helper = std::thread([&] { other.run(); });
    } catch (const std::system_error&) {
        return discardOutput(platform::makeVbError(vberr::OutOfMemory));
    }
    first.run();
    helper.join();
    switch (turns.outcome()) {
    case Turns::Outcome::Failed: return discardOutput(turns.error());
    case Turns::Outcome::Stopped: return stop();
    default: break; // whole, or an empty input
    }

    if (auto placed = out.commit(); !placed)
        return discardOutput(placed.error());
    reporter.show(100);
    return {};
}

} // namespace decoder
