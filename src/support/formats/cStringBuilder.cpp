#include "cStringBuilder.h"

#include "VbError.h"

#include <cstring>
#include <limits>
#include <new>

using platform::makeVbError;
namespace vberr = platform::vberr;

namespace {

constexpr qint64 MaxSize = std::numeric_limits<qint32>::max();
constexpr qint64 MaxChunk = qint64(1) << 30;

} // namespace

void cStringBuilder::ChunkSize(qint64 value)
{
    if (value >= MaxChunk)
        throw makeVbError(vberr::Overflow, QStringLiteral("cStringBuilder"));
    if (value <= 0) // growth needs a positive step
        throw makeVbError(vberr::InvalidProcedureCall, QStringLiteral("cStringBuilder"));
    m_chunkSize = static_cast<qint32>(value);
}

QString cStringBuilder::toString() const
{
    if (m_length == 0)
        return {};
    return view().toString();
}

// Adds whole chunks until the buffer holds needed characters; throws before touching anything.
void cStringBuilder::growFor(qint64 needed)
{
    const qint64 capacity = Capacity();
    if (needed <= capacity)
        return;
    if (needed > MaxSize)
        throw makeVbError(vberr::Overflow, QStringLiteral("cStringBuilder"));
    const qint64 chunks = (needed - capacity + m_chunkSize - 1) / m_chunkSize;
    const qint64 newCapacity = capacity + chunks * m_chunkSize;
    if (newCapacity > MaxSize)
        throw makeVbError(vberr::Overflow, QStringLiteral("cStringBuilder"));
    try {
        m_buffer.resize(static_cast<size_t>(newCapacity), u' ');
    } catch (const std::bad_alloc&) {
        throw makeVbError(vberr::OutOfMemory, QStringLiteral("cStringBuilder"));
    } catch (const std::length_error&) {
        throw makeVbError(vberr::OutOfMemory, QStringLiteral("cStringBuilder"));
    }
}

void cStringBuilder::TheString(QStringView text)
{
    if (text.isEmpty()) {
        Clear();
        return;
    }
    // text may point into our own buffer: keep a copy while growing.
    const QString copy = text.toString();
    growFor(copy.size());
    std::memcpy(m_buffer.data(), copy.utf16(), size_t(copy.size()) * sizeof(char16_t));
    m_length = static_cast<qint32>(copy.size());
}

void cStringBuilder::Clear()
{
    std::u16string().swap(m_buffer);
    m_length = 0;
}

void cStringBuilder::Append(QStringView text)
{
    if (text.isEmpty())
        return;
    const qint64 needed = qint64(m_length) + text.size();
    if (needed > Capacity()) {
        const QString copy = text.toString(); // text may be a view of our own buffer
        growFor(needed);
        std::memcpy(m_buffer.data() + m_length, copy.utf16(), size_t(copy.size()) * sizeof(char16_t));
    } else {
        std::memmove(m_buffer.data() + m_length, text.utf16(), size_t(text.size()) * sizeof(char16_t));
    }
    m_length = static_cast<qint32>(needed);
}

void cStringBuilder::AppendByVal(QString text)
{
    Append(text);
}

void cStringBuilder::AppendNL(QStringView text)
{
    // Both parts or neither: grow once for the whole line.
    growFor(qint64(m_length) + text.size() + 2);
    Append(text);
    Append(u"\r\n");
}

void cStringBuilder::Insert(qint32 position, QStringView text)
{
    if (position < 0 || position > m_length)
        throw makeVbError(vberr::SubscriptOutOfRange, QStringLiteral("cStringBuilder"));
    if (text.isEmpty())
        return;
    const QString copy = text.toString(); // text may be a view of our own buffer
    const qint64 needed = qint64(m_length) + copy.size();
    growFor(needed);
    char16_t* at = m_buffer.data() + position;
    std::memmove(at + copy.size(), at, size_t(m_length - position) * sizeof(char16_t));
    std::memcpy(at, copy.utf16(), size_t(copy.size()) * sizeof(char16_t));
    m_length = static_cast<qint32>(needed);
}

void cStringBuilder::InsertByVal(qint32 position, QString text)
{
    Insert(position, text);
}

void cStringBuilder::Remove(qint32 position, qint32 count)
{
    if (position < 0 || count < 0 || position > m_length || qint64(position) + count > m_length)
        throw makeVbError(vberr::SubscriptOutOfRange, QStringLiteral("cStringBuilder"));
    char16_t* at = m_buffer.data() + position;
    std::memmove(at, at + count, size_t(m_length - position - count) * sizeof(char16_t));
    m_length -= count;
}

qint32 cStringBuilder::Find(QStringView text, qint32 start, CompareMode mode) const
{
    const qsizetype from = start < 1 ? 0 : start - 1;
    if (from >= m_length)
        return 0;
    const qsizetype found =
        view().indexOf(text, from, mode == CompareMode::Text ? Qt::CaseInsensitive : Qt::CaseSensitive);
    return found < 0 ? 0 : static_cast<qint32>(found + 1);
}

void cStringBuilder::HeapMinimize()
{
    // Whole chunks off the end until at most one chunk of spare room is left.
    const qint64 excess = qint64(Capacity()) - m_length - m_chunkSize;
    if (excess <= 0)
        return;
    const qint64 capacity = Capacity() - (excess + m_chunkSize - 1) / m_chunkSize * m_chunkSize;
    m_buffer.resize(static_cast<size_t>(capacity));
    m_buffer.shrink_to_fit();
}
