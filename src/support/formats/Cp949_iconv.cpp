#include "Cp949.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace support::cp949 {

namespace {

// Owns a conversion descriptor: closed on every path.
class Converter final
{
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (isOpen())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool isOpen() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }

private:
    iconv_t m_cd;
};

// Runs iconv over the whole input; an input unit that cannot be converted becomes `replacement`
// and conversion goes on after it.
QByteArray convert(const char* to, const char* from, const char* in, size_t inLeft, size_t badUnit,
                   const QByteArray& replacement)
{
    QByteArray out;
    const Converter converter(to, from);
    if (!converter.isOpen())
        return out;
    const iconv_t cd = converter.get();
    out.resize(static_cast<qsizetype>(inLeft * 2 + 16));
    char* inPtr = const_cast<char*>(in);
    char* outPtr = out.data();
    size_t outLeft = static_cast<size_t>(out.size());
    auto grow = [&] {
        const qsizetype used = outPtr - out.data();
        out.resize(out.size() * 2 + 16);
        outPtr = out.data() + used;
        outLeft = static_cast<size_t>(out.size() - used);
    };
    while (inLeft > 0) {
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            grow();
            continue;
        }
        // EILSEQ or EINVAL: replace one unit (a whole surrogate pair counts as one) and go on.
        size_t skip = badUnit;
        if (badUnit == 2 && inLeft >= 4) {
            const auto hi = static_cast<unsigned char>(inPtr[1]);
            if (hi >= 0xD8 && hi <= 0xDB)
                skip = 4;
        }
        skip = std::min(skip, inLeft);
        inPtr += skip;
        inLeft -= skip;
        while (outLeft < static_cast<size_t>(replacement.size()))
            grow();
        std::copy(replacement.cbegin(), replacement.cend(), outPtr);
        outPtr += replacement.size();
        outLeft -= static_cast<size_t>(replacement.size());
    }
    for (;;) { // flush any shift state
        if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) != static_cast<size_t>(-1) || errno != E2BIG)
            break;
        grow();
    }
    out.resize(outPtr - out.data());
    return out;
}

} // namespace

QByteArray fromUnicode(const QString& text)
{
    return convert("CP949", "UTF-16LE", reinterpret_cast<const char*>(text.utf16()),
                   static_cast<size_t>(text.size()) * 2, 2, QByteArray("?"));
}

QString toUnicode(const QByteArray& bytes)
{
    static const QByteArray replacement("\xFD\xFF", 2); // U+FFFD, little-endian
    const QByteArray utf16 =
        convert("UTF-16LE", "CP949", bytes.constData(), static_cast<size_t>(bytes.size()), 1, replacement);
    return QString(reinterpret_cast<const QChar*>(utf16.constData()), utf16.size() / 2);
}

} // namespace support::cp949
