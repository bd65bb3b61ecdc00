#include "VbError.h"
#include "cStringBuilder.h"

#include <QTest>

#include <functional>

namespace {

/** Runs f and returns the number of the platform::VbError it threw (0 when none). */
int errorNumberOf(const std::function<void()>& f)
{
    try {
        f();
    } catch (const platform::VbError& error) {
        return error.number();
    }
    return 0;
}

} // namespace

class tst_cStringBuilder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newBuilderIsEmpty()
    {
        cStringBuilder sb;
        QCOMPARE(sb.Length(), 0);
        QCOMPARE(sb.Capacity(), 0);
        QCOMPARE(sb.ChunkSize(), 8192);
        QVERIFY(sb.toString().isEmpty());
    }

    void growsInWholeChunks_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::addColumn<QList<int>>("appends");
        QTest::addColumn<int>("capacity");
        QTest::newRow("one character") << 8192 << QList<int>{1} << 8192;
        QTest::newRow("9000 at once") << 8192 << QList<int>{9000} << 16384;
        QTest::newRow("exactly one chunk") << 8192 << QList<int>{8192} << 8192;
        QTest::newRow("one past a chunk") << 8192 << QList<int>{8192, 1} << 16384;
        QTest::newRow("small chunk, many pieces") << 10 << QList<int>{3, 3, 3, 3} << 20;
        QTest::newRow("big piece, small chunk") << 10 << QList<int>{95} << 100;
        QTest::newRow("nothing appended") << 8192 << QList<int>{0, 0} << 0;
    }
    void growsInWholeChunks()
    {
        QFETCH(int, chunk);
        QFETCH(QList<int>, appends);
        QFETCH(int, capacity);
        cStringBuilder sb;
        sb.ChunkSize(chunk);
        QString model;
        for (int n : appends) {
            const QString piece(n, QChar(char16_t(u'a' + model.size() % 26)));
            sb.Append(piece);
            model += piece;
        }
        QCOMPARE(sb.Capacity(), capacity);
        QCOMPARE(sb.Length(), model.size());
        QCOMPARE(sb.toString(), model);
    }

    void editsKeepContent_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("op"); // 0 insert, 1 remove, 2 append by value, 3 insert by value, 4 append NL
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("expected");
        const QString s = QStringLiteral("hello");
        QTest::newRow("insert at start") << s << 0 << 0 << QStringLiteral(">>") << 0 << QStringLiteral(">>hello");
        QTest::newRow("insert inside") << s << 0 << 2 << QStringLiteral("--") << 0 << QStringLiteral("he--llo");
        QTest::newRow("insert at length appends")
            << s << 0 << 5 << QStringLiteral("!") << 0 << QStringLiteral("hello!");
        QTest::newRow("insert Korean") << s << 0 << 1 << QStringLiteral("한글") << 0 << QStringLiteral("h한글ello");
        QTest::newRow("remove last character") << s << 1 << 4 << QString() << 1 << QStringLiteral("hell");
        QTest::newRow("remove inside") << s << 1 << 1 << QString() << 3 << QStringLiteral("ho");
        QTest::newRow("remove all") << s << 1 << 0 << QString() << 5 << QString();
        QTest::newRow("remove nothing at end") << s << 1 << 5 << QString() << 0 << s;
        QTest::newRow("append by value") << s << 2 << 0 << QStringLiteral(" world") << 0
                                         << QStringLiteral("hello world");
        QTest::newRow("insert by value") << s << 3 << 5 << QStringLiteral("?") << 0 << QStringLiteral("hello?");
        QTest::newRow("append line") << s << 4 << 0 << QStringLiteral("x") << 0 << QStringLiteral("hellox\r\n");
    }
    void editsKeepContent()
    {
        QFETCH(QString, start);
        QFETCH(int, op);
        QFETCH(int, position);
        QFETCH(QString, text);
        QFETCH(int, count);
        QFETCH(QString, expected);
        cStringBuilder sb;
        sb.ChunkSize(4); // small chunks so edits cross chunk borders
        sb.Append(start);
        switch (op) {
        case 0: sb.Insert(position, text); break;
        case 1: sb.Remove(position, count); break;
        case 2: sb.AppendByVal(text); break;
        case 3: sb.InsertByVal(position, text); break;
        case 4: sb.AppendNL(text); break;
        }
        QCOMPARE(sb.toString(), expected);
        QCOMPARE(sb.Length(), expected.size());
        QVERIFY(sb.Capacity() >= sb.Length());
        QCOMPARE(sb.Capacity() % 4, 0);
    }

    void badPositionsRaiseErrorAndChangeNothing_data()
    {
        QTest::addColumn<int>("op"); // 0 insert, 1 remove
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("count");
        QTest::newRow("insert at length + 1") << 0 << 6 << 0;
        QTest::newRow("insert before start") << 0 << -1 << 0;
        QTest::newRow("remove past the end") << 1 << 4 << 2;
        QTest::newRow("remove from length + 1") << 1 << 6 << 0;
        QTest::newRow("remove negative count") << 1 << 2 << -1;
        QTest::newRow("remove before start") << 1 << -1 << 1;
    }
    void badPositionsRaiseErrorAndChangeNothing()
    {
        QFETCH(int, op);
        QFETCH(int, position);
        QFETCH(int, count);
        cStringBuilder sb;
        sb.Append(u"hello");
        const int number = errorNumberOf([&] {
            if (op == 0)
                sb.Insert(position, u"xyz");
            else
                sb.Remove(position, count);
        });
        QCOMPARE(number, platform::vberr::SubscriptOutOfRange);
        QCOMPARE(sb.toString(), QStringLiteral("hello"));
        QCOMPARE(sb.Length(), 5);
        QCOMPARE(sb.Capacity(), 8192);
    }

    void chunkSizeLimits_data()
    {
        QTest::addColumn<qint64>("value");
        QTest::addColumn<int>("error");
        QTest::newRow("2^30 overflows") << (qint64(1) << 30) << platform::vberr::Overflow;
        QTest::newRow("past 32 bits overflows") << (qint64(1) << 40) << platform::vberr::Overflow;
        QTest::newRow("2^30 - 1 is taken") << (qint64(1) << 30) - 1 << 0;
        QTest::newRow("zero is refused") << qint64(0) << platform::vberr::InvalidProcedureCall;
        QTest::newRow("negative is refused") << qint64(-5) << platform::vberr::InvalidProcedureCall;
        QTest::newRow("one is taken") << qint64(1) << 0;
    }
    void chunkSizeLimits()
    {
        QFETCH(qint64, value);
        QFETCH(int, error);
        cStringBuilder sb;
        QCOMPARE(errorNumberOf([&] { sb.ChunkSize(value); }), error);
        QCOMPARE(qint64(sb.ChunkSize()), error ? 8192 : value);
    }

    void theStringReplacesContent()
    {
        cStringBuilder sb;
        sb.Append(QString(10000, u'x'));
        sb.TheString(u"short");
        QCOMPARE(sb.toString(), QStringLiteral("short"));
        QCOMPARE(sb.Capacity(), 16384); // kept
        sb.TheString(QString());
        QCOMPARE(sb.Length(), 0);
        QCOMPARE(sb.Capacity(), 0);
        sb.Append(u"ab");
        sb.Clear();
        QCOMPARE(sb.Length(), 0);
        QCOMPARE(sb.Capacity(), 0);
        QVERIFY(sb.toString().isEmpty());
    }

    void appendsOfItsOwnContent()
    {
        // A view of the builder's own buffer must survive the buffer moving while it grows.
        cStringBuilder sb;
        sb.ChunkSize(8);
        sb.Append(u"abcdefgh");
        sb.Append(sb.view());
        QCOMPARE(sb.toString(), QStringLiteral("abcdefghabcdefgh"));
        sb.Insert(1, sb.view().left(3));
        QCOMPARE(sb.toString(), QStringLiteral("aabcbcdefghabcdefgh"));
        sb.TheString(sb.view().mid(2, 4));
        QCOMPARE(sb.toString(), QStringLiteral("bcbc"));
    }

    void find_data()
    {
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("start");
        QTest::addColumn<bool>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("first") << QStringLiteral("ab") << 1 << false << 1;
        QTest::newRow("from start 2") << QStringLiteral("ab") << 2 << false << 4;
        QTest::newRow("start below 1") << QStringLiteral("ab") << -7 << false << 1;
        QTest::newRow("binary is case-sensitive") << QStringLiteral("AB") << 1 << false << 7;
        QTest::newRow("text ignores case") << QStringLiteral("aB") << 2 << true << 4;
        QTest::newRow("not found") << QStringLiteral("zz") << 1 << false << 0;
        QTest::newRow("start past content") << QStringLiteral("b") << 9 << false << 0;
        QTest::newRow("spare room is not content") << QStringLiteral("B ") << 1 << false << 0;
        QTest::newRow("removed text is not content") << QStringLiteral("B한") << 1 << false << 0;
        QTest::newRow("last character") << QStringLiteral("B") << 1 << false << 8;
    }
    void find()
    {
        QFETCH(QString, what);
        QFETCH(int, start);
        QFETCH(bool, text);
        QFETCH(int, expected);
        cStringBuilder sb;
        sb.Append(u"abcabcAB한");
        sb.Remove(8, 1); // the removed character and spaces stay in the buffer after the content
        QCOMPARE(sb.Find(what, start, text ? cStringBuilder::CompareMode::Text : cStringBuilder::CompareMode::Binary),
                 expected);
    }

    void heapMinimizeLeavesAtMostOneChunk()
    {
        cStringBuilder sb;
        sb.ChunkSize(100);
        sb.Append(QString(1050, u'x'));
        QCOMPARE(sb.Capacity(), 1100);
        sb.Remove(10, 1000);
        QCOMPARE(sb.Capacity(), 1100);
        sb.HeapMinimize();
        QCOMPARE(sb.Length(), 50);
        QCOMPARE(sb.Capacity(), 100);
        QCOMPARE(sb.toString(), QString(50, u'x'));
        sb.HeapMinimize(); // nothing more to give back
        QCOMPARE(sb.Capacity(), 100);
        sb.Remove(0, 50);
        sb.HeapMinimize();
        QCOMPARE(sb.Capacity(), 100);
    }
};

QTEST_APPLESS_MAIN(tst_cStringBuilder)
#include "tst_cstringbuilder.moc"
