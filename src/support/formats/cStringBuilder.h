#pragma once

#include <QString>
#include <QStringView>

#include <string>

/** Text collected in a buffer that grows in whole chunks, so many small appends do not copy the content each
 *  time. Sizes and positions count UTF-16 code units; errors are platform::VbError (9 for a position outside
 *  the content, 6 for a size past the 32-bit range, 7 when memory runs out) and leave the builder unchanged. */
class cStringBuilder final
{
public:
    enum class CompareMode { Binary, Text };

    /** Characters of content. */
    qint32 Length() const { return m_length; }
    /** Characters the buffer holds, content and spare room. */
    qint32 Capacity() const { return static_cast<qint32>(m_buffer.size()); }
    /** The growth step in characters (8192 unless changed). */
    qint32 ChunkSize() const { return m_chunkSize; }
    /** Sets the growth step; 2^30 and above raise 6 (overflow), zero and below raise 5 (invalid argument). */
    void ChunkSize(qint64 value);

    /** The content; empty when the length is 0. */
    QString toString() const;
    /** Replaces the content; an empty text also gives back the whole buffer. */
    void TheString(QStringView text);
    /** Empties content and buffer: length and capacity become 0. */
    void Clear();

    /** Adds text at the end. */
    void Append(QStringView text);
    /** Adds a copy of text at the end. */
    void AppendByVal(QString text);
    /** Adds text, then CR LF. */
    void AppendNL(QStringView text = {});
    /** Inserts text before the 0-based position; a position past the length raises 9. */
    void Insert(qint32 position, QStringView text);
    /** Inserts a copy of text before the 0-based position. */
    void InsertByVal(qint32 position, QString text);
    /** Removes count characters from the 0-based position; a run past the content raises 9. */
    void Remove(qint32 position, qint32 count);
    /** 1-based position of the first occurrence of text at or after start (1-based) inside the content, 0 if
     *  none; an empty text is found at start while start lies inside the content. */
    qint32 Find(QStringView text, qint32 start = 1, CompareMode mode = CompareMode::Binary) const;
    /** Gives back spare room beyond one chunk. */
    void HeapMinimize();

    /** The content without a copy; valid until the next change. */
    QStringView view() const { return QStringView(m_buffer.data(), m_length); }

private:
    void growFor(qint64 needed);

    std::u16string m_buffer; // size() is the capacity; past m_length it is spare room
    qint32 m_length = 0;
    qint32 m_chunkSize = 8192;
};
