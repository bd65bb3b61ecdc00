// Random operation sequences on cStringBuilder, checked against a plain std::u16string holding the content.
#include "VbError.h"
#include "cStringBuilder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

/** Reads the operations' arguments from the input, yielding zeros once it runs out. */
class Input
{
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool done() const { return m_at >= m_size; }
    std::uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    qint32 number()
    {
        // Mostly small, sometimes anything: positions near the content and past it both matter.
        const std::uint8_t kind = byte();
        if (kind < 200)
            return kind % 40;
        qint32 value = 0;
        for (int i = 0; i < 4; ++i)
            value = qint32(quint32(value) << 8 | byte());
        return value;
    }
    std::u16string text()
    {
        static const char16_t alphabet[] = u"abcAB \r\n한é\U0001F600";
        const std::size_t alphabetSize = sizeof(alphabet) / sizeof(char16_t) - 1;
        std::u16string s(byte() % 24, u'a');
        for (auto& c : s)
            c = alphabet[byte() % alphabetSize];
        return s;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

QStringView view(const std::u16string& s)
{
    return QStringView(s.data(), qsizetype(s.size()));
}

/** Runs op, expecting the classic error number (0: none). */
template <typename Op> void expectError(int expected, Op op)
{
    int number = 0;
    try {
        op();
    } catch (const platform::VbError& error) {
        number = error.number();
    }
    check(number == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in(data, size);
    cStringBuilder sb;
    std::u16string model;
    qint64 chunk = 8192;
    for (int steps = 0; !in.done() && steps < 2000; ++steps) {
        const qint64 length = qint64(model.size());
        switch (in.byte() % 11) {
        case 0: {
            const auto t = in.text();
            sb.Append(view(t));
            model += t;
            break;
        }
        case 1: {
            const auto t = in.text();
            sb.AppendByVal(QString::fromStdU16String(t));
            model += t;
            break;
        }
        case 2: {
            const auto t = in.text();
            sb.AppendNL(view(t));
            model += t + u"\r\n";
            break;
        }
        case 3:
        case 4: {
            const qint32 position = in.number();
            const auto t = in.text();
            const bool ok = position >= 0 && position <= length;
            expectError(ok ? 0 : platform::vberr::SubscriptOutOfRange, [&] { sb.Insert(position, view(t)); });
            if (ok)
                model.insert(std::size_t(position), t);
            break;
        }
        case 5: {
            const qint32 position = in.number();
            const qint32 count = in.number();
            const bool ok = position >= 0 && count >= 0 && qint64(position) + count <= length;
            expectError(ok ? 0 : platform::vberr::SubscriptOutOfRange, [&] { sb.Remove(position, count); });
            if (ok)
                model.erase(std::size_t(position), std::size_t(count));
            break;
        }
        case 6: {
            const auto t = in.text();
            const qint32 start = in.number();
            const qint32 found = sb.Find(view(t), start);
            const std::size_t from = start < 1 ? 0 : std::size_t(start) - 1;
            const std::size_t expected = from >= model.size() ? std::u16string::npos : model.find(t, from);
            check(found == (expected == std::u16string::npos ? 0 : qint32(expected) + 1));
            break;
        }
        case 7: {
            // Sometimes a piece of the builder's own content, which must survive the buffer moving.
            if (in.byte() % 2 && !model.empty()) {
                const std::size_t from = in.byte() % model.size();
                const std::u16string piece = model.substr(from, in.byte());
                sb.TheString(sb.view().mid(qsizetype(from), qsizetype(piece.size())));
                model = piece;
            } else {
                const auto t = in.text();
                sb.TheString(view(t));
                model = t;
            }
            break;
        }
        case 8:
            if (in.byte() % 4 == 0) {
                sb.Clear();
                model.clear();
                check(sb.Capacity() == 0);
            } else {
                const qint32 before = sb.Capacity();
                sb.HeapMinimize();
                check(sb.Capacity() <= before);
                check(sb.Capacity() - sb.Length() <= chunk);
            }
            break;
        case 9: {
            const qint32 value = in.number();
            const int expected = value >= (1 << 30) ? platform::vberr::Overflow
                                 : value <= 0       ? platform::vberr::InvalidProcedureCall
                                                    : 0;
            // Huge steps would only test the allocator.
            if (value > 4096 && value < (1 << 30))
                break;
            expectError(expected, [&] { sb.ChunkSize(value); });
            if (expected == 0)
                chunk = value;
            break;
        }
        case 10: {
            const auto t = in.text();
            sb.Append(sb.view().left(qsizetype(t.size()))); // its own content again
            model += model.substr(0, t.size());
            break;
        }
        }
        check(sb.Length() == qint64(model.size()));
        check(sb.Capacity() >= sb.Length());
        check(sb.view() == view(model));
        check(sb.ChunkSize() == chunk);
        if (model.size() > 200000) // keep each run small
            break;
    }
    check(sb.toString() == QString::fromStdU16String(model));
    return 0;
}
