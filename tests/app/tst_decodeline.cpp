#include "DecodeLine.h"

#include <QTest>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <random>
#include <utility>

namespace {

// The decoding read the slow, literal way: a real group record, four digits per group, read back at the
// group's own position. The decoder under test must give the same bytes for every input.
unsigned leadingHexValue(const QByteArray& digits)
{
    unsigned v = 0;
    for (char c : digits) {
        const char* hex = "0123456789abcdef";
        const char* at = std::strchr(hex, std::tolower(static_cast<unsigned char>(c)));
        if (c == 0 || !at)
            break;
        v = v * 16 + static_cast<unsigned>(at - hex);
    }
    return v;
}

bool isPlainCharacter(unsigned char byte)
{
    static const QByteArray marks = QByteArrayLiteral("-_=+\\|[]{}<>,./?~!@$#%^&*():;'\"");
    const unsigned char c = byte < 0x80 ? static_cast<unsigned char>(std::tolower(byte)) : byte;
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || (c != 0 && marks.contains(char(c)));
}

QByteArray literalDecode(const QByteArray& line)
{
    QByteArray out;
    QByteArray record;
    for (qsizetype p = 0; p < line.size(); p += 4) {
        const QByteArray g = line.mid(p, 4);
        if (g == "0D0A") {
            out += "\r\n";
            record += "0000";
            continue;
        }
        const QByteArray hi = line.mid(p, 2);
        const QByteArray lo = line.mid(p + 2, 2);
        if (hi != "00") {
            record += lo + hi;
        } else {
            record += g;
            if (!isPlainCharacter(static_cast<unsigned char>(leadingHexValue(lo)))) {
                record.chop(g.size()); // this group's digits only, also for a short last group
                record += lo + "00";
            }
        }
        const unsigned code = leadingHexValue(record.mid(p, 4));
        if (code < 256) {
            out += char(code);
        } else {
            out += char(code >> 8);
            out += char(code & 0xFF);
        }
    }
    return out;
}

using decoder::DecodePath;

// Rows run once per decode path: every vector step must give the literal reading's bytes.
constexpr std::pair<DecodePath, const char*> kPaths[] = {{DecodePath::Plain, "plain"},
                                                         {DecodePath::Ssse3, "ssse3"},
                                                         {DecodePath::Avx2, "avx2"},
                                                         {DecodePath::Avx512, "avx512"}};

QByteArray hexOf(const QByteArray& bytes)
{
    return bytes.toHex(' ');
}

} // namespace

class Tst_decodeline final : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void decodes_data();
    void decodes();
    void agreesWithLiteralReading_data();
    void agreesWithLiteralReading();
    void everyPieceAtEveryPlace_data();
    void everyPieceAtEveryPlace();
    void linePartEndsAtLineEnd_data();
    void linePartEndsAtLineEnd();
    void appendKeepsWhatIsThere();

private:
    bool usePath();
    DecodePath m_widest = DecodePath::Plain;
};

void Tst_decodeline::initTestCase()
{
    m_widest = decoder::ActiveDecodePath();
    qInfo("widest decode path: %s", kPaths[static_cast<int>(m_widest)].second);
}

void Tst_decodeline::cleanup()
{
    QVERIFY(decoder::UseDecodePath(m_widest));
}

// Switches to the row's path; false when this processor cannot run it (the row is then skipped).
bool Tst_decodeline::usePath()
{
    QFETCH(DecodePath, path);
    return decoder::UseDecodePath(path);
}

void Tst_decodeline::decodes_data()
{
    QTest::addColumn<DecodePath>("path");
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("expected");
    auto row = [](const char* name, const char* line, QByteArray expected) {
        for (const auto& [path, pathName] : kPaths)
            QTest::addRow("%s [%s]", name, pathName) << path << QByteArray(line) << expected;
    };
    // The worked examples.
    row("4100", "4100", "A");
    row("two groups", "61006200", "ab");
    row("0041 plain letter", "0041", "A");
    row("0020 blank", "0020", " ");
    row("A1B0 Hangul", "A1B0", "\xB0\xA1");
    row("0D0A newline", "0D0A", "\r\n");
    row("0d0a is no newline", "0d0a", "\n\r");
    row("0009 tab not plain", "0009", QByteArray("\x09\x00", 2));
    row("empty", "", "");
    // Lower-case digits read as upper-case ones.
    row("0061 lower-case letter", "0061", "a");
    row("lower-case Hangul", "a1b0", "\xB0\xA1");
    row("lower-case hi", "4a00", "J");
    row("0D0a mixed case", "0D0a", "\n\r");
    // Zero and single bytes.
    row("0000 byte 0", "0000", QByteArray(1, '\0'));
    row("lo 00 gives one byte", "FF00", "\xFF");
    row("code above 255 kept as two bytes", "00B0", QByteArray("\xB0\x00", 2));
    row("0A0D not special", "0A0D", "\r\n");
    // The plain set's edges.
    row("007E tilde", "007E", "~");
    row("007F not plain", "007F", QByteArray("\x7F\x00", 2));
    row("0060 back quote not plain", "0060", QByteArray("`\x00", 2));
    row("001F not plain", "001F", QByteArray("\x1F\x00", 2));
    row("0022 double quote", "0022", "\"");
    row("005C backslash", "005C", "\\");
    row("0080 high byte not plain", "0080", QByteArray("\x80\x00", 2));
    // Newline groups inside a line, and the groups after them stay aligned.
    row("0D0A mid-line", "41000D0A4200", "A\r\nB");
    row("two newlines then groups", "0D0A0D0A41004200", "\r\n\r\nAB");
    row("newline then Hangul", "0D0AA1B00041",
        "\r\n\xB0\xA1"
        "A");
    row("newline last", "41000D0A", "A\r\n");
    // A short last group is read with the digits present.
    row("trailing 41", "410041", "AA");
    row("trailing one digit", "41004", "A\x04");
    row("trailing three digits", "4100410", "AA");
    row("trailing 41A", "41A", "\x0A\x41");
    row("trailing 0D0", "0D0", "\r");
    row("only 0", "0", QByteArray(1, '\0'));
    // A short last group beginning with "00" has nothing after it to be plain: it reads as code lo:00
    // from its own digits only, so "00" and "000" give the byte 0 and "004" gives 04 00.
    row("trailing 00", "410000", QByteArray("A\x00", 2));
    row("trailing 000", "000", QByteArray(1, '\0'));
    row("trailing 004", "4100004", QByteArray("A\x04\x00", 3));
    // Characters that are not hex digits end the number.
    row("004G record 4G00", "004G", "\x04");
    row("4G00 record 004G", "4G00", "\x04");
    row("G100 no digits", "G100", QByteArray(1, '\0'));
    row("41G0 record G041", "41G0", QByteArray(1, '\0'));
    row("blank inside", "0 41", "\x04\x10");
    row("bad group keeps alignment", "4G004100",
        "\x04"
        "A");
    row("Korean bytes in the line",
        "\xB0\xA1"
        "4100",
        QByteArray("A\x00", 2));
    // Long enough for the eight-group steps, with a newline and a bad digit inside.
    row("long mixed", "410042004300440045004600470048000D0A4900A1B0004100200009G100",
        QByteArray("ABCDEFGH\r\nI\xB0\xA1"
                   "A \x09\x00\x00",
                   18));
}

void Tst_decodeline::decodes()
{
    if (!usePath())
        QSKIP("this processor cannot run this path");
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, expected);
    QCOMPARE(decoder::DecodeLine(line), expected);
    QCOMPARE(literalDecode(line), expected);
}

void Tst_decodeline::agreesWithLiteralReading_data()
{
    QTest::addColumn<DecodePath>("path");
    QTest::addColumn<QByteArray>("alphabet");
    QTest::addColumn<int>("maxLength");
    auto row = [](const char* name, const QByteArray& alphabet, int maxLength) {
        for (const auto& [path, pathName] : kPaths)
            QTest::addRow("%s [%s]", name, pathName) << path << alphabet << maxLength;
    };
    row("upper-case digits", "0123456789ABCDEF", 200);
    row("both cases, more zeros", "0000000123456789ABCDEFabcdef", 200);
    row("newline-prone", "00000DA", 300);
    row("some non-hex", "0123456789ABCDEF0000G x\xB0", 120);
    row("any byte", QByteArray(), 80);
}

void Tst_decodeline::agreesWithLiteralReading()
{
    if (!usePath())
        QSKIP("this processor cannot run this path");
    QFETCH(QByteArray, alphabet);
    QFETCH(int, maxLength);
    std::mt19937 rng(949);
    // Lines built mostly from whole plausible groups so both the fast steps and their fallbacks run.
    const char* groups[] = {"4100", "0041", "0D0A", "0000", "A1B0", "0009", "007E", "007F", "0060", "2000"};
    for (int n = 0; n < 4000; ++n) {
        QByteArray line;
        const int length = static_cast<int>(rng() % static_cast<unsigned>(maxLength + 1));
        while (line.size() < length) {
            if (rng() % 3 == 0) {
                line += groups[rng() % std::size(groups)];
            } else if (alphabet.isEmpty()) {
                line += char(rng() % 256);
            } else {
                line += alphabet[rng() % static_cast<unsigned>(alphabet.size())];
            }
        }
        line.truncate(length);
        const QByteArray got = decoder::DecodeLine(line);
        if (got != literalDecode(line))
            QFAIL(qPrintable(QStringLiteral("line %1: got %2, expected %3")
                                 .arg(QString::fromLatin1(line.toHex()), QString::fromLatin1(got.toHex()),
                                      QString::fromLatin1(literalDecode(line).toHex()))));
    }
}

void Tst_decodeline::everyPieceAtEveryPlace_data()
{
    QTest::addColumn<DecodePath>("path");
    QTest::addColumn<QByteArray>("piece");
    auto row = [](const char* name, const QByteArray& piece) {
        for (const auto& [path, pathName] : kPaths)
            QTest::addRow("%s [%s]", name, pathName) << path << piece;
    };
    // Every kind of group, and pieces that are no group at all.
    row("ASCII", "4100");
    row("plain 00xx", "0041");
    row("blank", "0020");
    row("tilde", "007E");
    row("00xx not plain", "0009");
    row("001F", "001F");
    row("007F", "007F");
    row("back quote", "0060");
    row("byte 0", "0000");
    row("lo 00", "FF00");
    row("lead byte then 0", "00B0");
    row("Hangul", "A1B0");
    row("lower-case Hangul", "a1b0");
    row("newline group", "0D0A");
    row("lower-case newline", "0d0a");
    row("newline group twice", "0D0A0D0A");
    row("not hex", "G100");
    row("colon and at", ":0@0");
    row("CR", "\r");
    row("LF", "\n");
    row("high bytes", "\xB0\xA1");
    row("byte 0 inside", QByteArray("41\0"
                                    "0",
                                    4));
}

void Tst_decodeline::everyPieceAtEveryPlace()
{
    if (!usePath())
        QSKIP("this processor cannot run this path");
    QFETCH(QByteArray, piece);
    // Single- and two-byte groups mixed, so the packing of the vector steps varies around the piece.
    const QByteArray filler = QByteArray("4100A1B00020B0C1FF00").repeated(10);
    // The piece at every character of the first two 16-group steps (so also astride groups, and split by
    // the steps' edges), then lines of every length around the steps and a short last group.
    for (int at = 0; at <= 128; ++at) {
        for (int length : {at + 4, 127, 128, 129, 130, 131, 160}) {
            const QByteArray line = (filler.left(at) + piece + filler).left(std::max<int>(length, at + piece.size()));
            const QByteArray got = decoder::DecodeLine(line);
            const QByteArray expected = literalDecode(line);
            if (got != expected)
                QFAIL(qPrintable(QStringLiteral("piece at %1 of %2 characters: got %3, expected %4")
                                     .arg(at)
                                     .arg(line.size())
                                     .arg(QString::fromLatin1(hexOf(got)), QString::fromLatin1(hexOf(expected)))));
        }
    }
}

void Tst_decodeline::linePartEndsAtLineEnd_data()
{
    QTest::addColumn<DecodePath>("path");
    QTest::addColumn<QByteArray>("terminator");
    QTest::addColumn<QByteArray>("filler");
    auto row = [](const char* name, const QByteArray& terminator, const QByteArray& filler) {
        for (const auto& [path, pathName] : kPaths)
            QTest::addRow("%s [%s]", name, pathName) << path << terminator << filler;
    };
    const QByteArray groups = QByteArray("4100A1B00D0A0041").repeated(12);
    row("CR", "\r", groups);
    row("LF", "\n", groups);
    row("CR LF", "\r\n", groups);
    row("LF after a bad group", "\n", QByteArray("4100G1004200").repeated(16));
    row("LF long after a bad group", "\n", "G100" + groups);
}

void Tst_decodeline::linePartEndsAtLineEnd()
{
    if (!usePath())
        QSKIP("this processor cannot run this path");
    QFETCH(QByteArray, terminator);
    QFETCH(QByteArray, filler);
    for (int length = 0; length <= 150; ++length) {
        const QByteArray line = filler.left(length);
        const QByteArray text = line + terminator + "4100\r\n";
        QByteArray out(int(decoder::MaxDecodedSize(text.size())), '\0');
        // The whole line and its end in sight: decoded up to the terminator, short last group included.
        char* o = out.data();
        const char* stop = decoder::DecodeLinePart(text.constData(), text.constData() + text.size(), o);
        QCOMPARE(stop - text.constData(), length);
        QCOMPARE(hexOf(QByteArray(out.constData(), o - out.constData())), hexOf(literalDecode(line)));
        // The text cut before the terminator: whole groups only, the unfinished one left for later.
        o = out.data();
        stop = decoder::DecodeLinePart(text.constData(), text.constData() + length, o);
        QCOMPARE(stop - text.constData(), length / 4 * 4);
        QCOMPARE(hexOf(QByteArray(out.constData(), o - out.constData())),
                 hexOf(literalDecode(line.left(length / 4 * 4))));
    }
}

void Tst_decodeline::appendKeepsWhatIsThere()
{
    QByteArray out("before|");
    decoder::DecodeLineAppend("41000D0A", out);
    decoder::DecodeLineAppend("", out);
    decoder::DecodeLineAppend("A1B0", out);
    QCOMPARE(out, QByteArray("before|A\r\n\xB0\xA1"));
}

QTEST_GUILESS_MAIN(Tst_decodeline)
#include "tst_decodeline.moc"
