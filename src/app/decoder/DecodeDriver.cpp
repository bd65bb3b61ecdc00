#include "DecodeDriver.h"

#include "DecodeLine.h"

#include "RawFile.h"

#include <QFile>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

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
                        QString* unremovedReason)
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

    // The output must never be the input itself (same name, or the same file through a link): opening it
    // for writing would destroy the log. Checked before opening, and again on what was opened.
    const QString outputPath = OutputPathFor(inputPath);
    if (const Result<FileId> existing = RawFile::identityOf(outputPath); existing && *existing == input->id)
        return platform::makeVbError(vberr::FileAlreadyOpen);
    RawFile out;
    if (auto opened = out.openWrite(outputPath); !opened)
        return opened;
    const Result<RawFile::Info> output = out.info();
    if (!output)
        return output.error();
    if (output->id == input->id)
        return platform::makeVbError(vberr::FileAlreadyOpen);
    // An empty file is left alone: truncating it would also make ext4 flush it to disk on closing.
    if (output->kind == RawFile::Kind::Regular && output->size > 0) {
        if (auto emptied = out.truncate(); !emptied)
            return emptied;
    }

    // Stopped half-way, the output would look like a whole decode: it goes, and nothing else is touched.
    const auto stop = [&] {
        static_cast<void>(in.close());
        static_cast<void>(out.close());
        QFile unfinished(outputPath);
        if (!unfinished.remove() && unfinished.exists() && unremovedReason)
            *unremovedReason = unfinished.errorString();
        return platform::makeVbError(vberr::UserInterrupt);
    };
    ProgressReporter reporter(progress, stopRequested, length);
    if (!reporter.show(0))
        return stop();

    // Each block is read to the start of a page, and the up to three characters of a group that the previous
    // block cut go just before it. (Read to a few bytes past a page start, where malloc puts large blocks, the
    // kernel's copy stalled on 4 KiB aliasing with the page cache: the whole decode took a third longer.) A
    // line longer than a block is decoded group by group as it streams through; nothing holds it whole.
    constexpr std::size_t Block = static_cast<std::size_t>(ReadBlockSize);
    constexpr std::size_t Page = 4096;
    constexpr std::size_t OutCapacity = 2 * (Block + 4) + 16; // at most two bytes out per byte in
    const auto inStorage = std::make_unique_for_overwrite<char[]>(4 + Page + Block);
    char* const data =
        inStorage.get() + 4 + (Page - reinterpret_cast<std::uintptr_t>(inStorage.get() + 4) % Page) % Page;
    const auto outBuf = std::make_unique_for_overwrite<char[]>(OutCapacity);
    std::size_t carry = 0; // bytes of an unfinished group at data[-carry..0)
    bool lineOpen = false; // part of the current line has been read
    bool skipLf = false;   // the previous block ended with a CR that may be the first half of CR LF
    qint64 blockStart = 0; // file position of data[0]

    for (;;) {
        const Result<qint64> read = in.read(data, qint64(Block));
        if (!read)
            return read.error();
        const qint64 got = *read;
        char* o = outBuf.get();
        if (got == 0) {
            if (lineOpen || carry > 0) {
                o = DecodeLineTo(data - carry, carry, o);
                *o++ = '\r';
                *o++ = '\n';
            }
            if (auto written = out.writeAll(outBuf.get(), o - outBuf.get()); !written)
                return written;
            break;
        }

        const char* p = data - carry;
        const char* const end = data + got;
        if (skipLf) {
            if (*p == '\n')
                ++p;
            skipLf = false;
        }
        carry = 0;
        while (p < end) {
            // One pass finds the line's end and decodes up to it.
            const char* const eol = DecodeLinePart(p, end, o);
            if (eol == end || (*eol != '\r' && *eol != '\n')) {
                carry = static_cast<std::size_t>(end - eol);
                std::memmove(data - carry, eol, carry);
                lineOpen = true;
                break;
            }
            *o++ = '\r';
            *o++ = '\n';
            lineOpen = false;
            p = eol + 1;
            if (*eol == '\r') {
                if (p == end)
                    skipLf = true;
                else if (*p == '\n')
                    ++p;
            }
            if (!reporter.at(blockStart + (p - data)))
                return stop();
        }
        blockStart += got;
        if (auto written = out.writeAll(outBuf.get(), o - outBuf.get()); !written)
            return written;
    }

    if (auto closed = out.close(); !closed)
        return closed;
    reporter.show(100);
    return {};
}

} // namespace decoder
