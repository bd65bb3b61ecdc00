#include "VbError.h"
#include "json.h"

#include <QTest>

using json::Decimal;
using json::JsonValue;
using json::ParseJson;

namespace {

QString crlf(const QString& line)
{
    return line + QStringLiteral("\r\n");
}

const QString DuplicateKey = QStringLiteral("This key is already associated with an element of this collection");

} // namespace

class tst_JsonReader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each document is read, then shown through the writer, so the whole tree is compared at once.
    void documents_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("written");
        QTest::addColumn<QString>("diagnostics");

        QTest::newRow("plain object") << QStringLiteral("{\"a\": 1, \"b\": [true, false, null], \"c\": \"x\"}")
                                      << QStringLiteral("{\"a\": 1,\"b\": [true,false,null],\"c\": \"x\"}")
                                      << QString();
        QTest::newRow("plain array") << QStringLiteral("[1, \"two\", {\"three\": 3}]")
                                     << QStringLiteral("[1,\"two\",{\"three\": 3}]") << QString();
        QTest::newRow("empty containers")
            << QStringLiteral("[{}, [], {\"a\": []}]") << QStringLiteral("[{},[],{\"a\": []}]") << QString();
        QTest::newRow("blanks, comments, parentheses")
            << QStringLiteral("  \t\r\n// line comment\n/* block\ncomment */ ( {\"a\": 1} )")
            << QStringLiteral("{\"a\": 1}") << QString();
        QTest::newRow("comments between members") << QStringLiteral("{\"a\": /* one */ 1, // next\n \"b\": 2}")
                                                  << QStringLiteral("{\"a\": 1,\"b\": 2}") << QString();
        QTest::newRow("unquoted key") << QStringLiteral("{a:1}") << QStringLiteral("{\"a\": 1}") << QString();
        QTest::newRow("apostrophe key and text")
            << QStringLiteral("{'a': 'b'}") << QStringLiteral("{\"a\": \"b\"}") << QString();
        QTest::newRow("blanks dropped from key") << QStringLiteral("{\"my key\": 1, \" t\\tab\": 2}")
                                                 << QStringLiteral("{\"mykey\": 1,\"t\\tab\": 2}") << QString();
        QTest::newRow("colon inside quoted key")
            << QStringLiteral("{\"a:b\": 1}") << QStringLiteral("{\"a:b\": 1}") << QString();
        QTest::newRow("missing commas") << QStringLiteral("{\"a\": 1 \"b\": 2 \"c\": [1 2 3]}")
                                        << QStringLiteral("{\"a\": 1,\"b\": 2,\"c\": [1,2,3]}") << QString();
        QTest::newRow("apostrophe text holds double quotes")
            << QStringLiteral("['say \"hi\"']") << QStringLiteral("[\"say \\\"hi\\\"\"]") << QString();
        QTest::newRow("duplicate key ends the object")
            << QStringLiteral("{\"a\": 1, \"a\": 2, \"b\": 3}") << QStringLiteral("{\"a\": 1}")
            << crlf(DuplicateKey + QStringLiteral(": a"));
        QTest::newRow("duplicate key in a nested object")
            << QStringLiteral("[{\"k\": 1, \"k\": 2}, 5]") << QStringLiteral("[{\"k\": 1}]")
            << crlf(DuplicateKey + QStringLiteral(": k")) + crlf(QStringLiteral("Type mismatch: }, 5]"));
        QTest::newRow("keys are case-sensitive")
            << QStringLiteral("{\"a\": 1, \"A\": 2}") << QStringLiteral("{\"a\": 1,\"A\": 2}") << QString();
        QTest::newRow("bare number") << QStringLiteral("12") << QString() << QStringLiteral("Invalid JSON");
        QTest::newRow("bare text") << QStringLiteral("\"x\"") << QString() << QStringLiteral("Invalid JSON");
        QTest::newRow("empty document") << QString() << QString() << QStringLiteral("Invalid JSON");
        QTest::newRow("only a comment") << QStringLiteral("// {\"a\": 1}") << QString()
                                        << QStringLiteral("Invalid JSON");
        QTest::newRow("unterminated text") << QStringLiteral("{\"a\": \"abc") << QStringLiteral("{\"a\": \"abc\"}")
                                           << crlf(QStringLiteral("Missing '}': {\"a\": \"abc"));
        QTest::newRow("missing ] keeps the last 20 characters")
            << QStringLiteral("[\"aaaaaaaaaa\", \"bbbbbbbbbb\"") << QStringLiteral("[\"aaaaaaaaaa\",\"bbbbbbbbbb\"]")
            << crlf(QStringLiteral("Missing ']': aaaaa\", \"bbbbbbbbbb\""));
        QTest::newRow("number at the end of the text is empty")
            << QStringLiteral("{\"a\": 12") << QStringLiteral("{\"a\": }")
            << crlf(QStringLiteral("Missing '}': {\"a\": 12"));
        QTest::newRow("conversion error in an object")
            << QStringLiteral("{\"a\": 1, \"b\": -, \"c\": 3}") << QStringLiteral("{\"a\": 1}")
            << crlf(QStringLiteral("Type mismatch: b"));
        QTest::newRow("conversion error in an array")
            << QStringLiteral("[1, 2.3.4, 5]") << QStringLiteral("[1]") << crlf(QStringLiteral("Type mismatch: , 5]"));
        QTest::newRow("out of range number") << QStringLiteral("{\"n\": 79228162514264337593543950336}")
                                             << QStringLiteral("{}") << crlf(QStringLiteral("Overflow: n"));
        QTest::newRow("bad boolean ends the array") << QStringLiteral("[1, tru, 2]") << QStringLiteral("[1,false]")
                                                    << crlf(QStringLiteral("Invalid Boolean at position 5 : tru, 2]"));
        // The enclosing array meets the same literal and ends too.
        QTest::newRow("bad null ends the arrays around it")
            << QStringLiteral("[[nul], 2]") << QStringLiteral("[[],]")
            << crlf(QStringLiteral("Invalid null value at position 3 : nul], 2]")).repeated(2);
        QTest::newRow("bad boolean in an object reads on")
            << QStringLiteral("{\"a\": fals, \"b\": 1}") << QStringLiteral("{\"a\": false,\"fals,b\": 1}")
            << crlf(QStringLiteral("Invalid Boolean at position 7 : fals, \"b\": 1}"));
        QTest::newRow("closed key without colon") << QStringLiteral("{\"a\" 1}") << QStringLiteral("{\"a\": 1}")
                                                  << crlf(QStringLiteral("Invalid Key at position 6 : a"));
        QTest::newRow("positions count UTF-16 code units")
            << QStringLiteral("[\"\U0001F600\", nul]") << QStringLiteral("[\"\U0001F600\",]")
            << crlf(QStringLiteral("Invalid null value at position 8 : nul]"));
        QTest::newRow("key starting with U+FEFF kept whole")
            << QStringLiteral("{\"\uFEFFcd\":2}") << QStringLiteral("{\"\uFEFFcd\": 2}") << QString();
        QTest::newRow("key starting with U+FFFE kept as read")
            << QStringLiteral("{\"\uFFFEab\":1}") << QStringLiteral("{\"\uFFFEab\": 1}") << QString();
        QTest::newRow("text after the document is ignored")
            << QStringLiteral("{} trailing [") << QStringLiteral("{}") << QString();
    }
    void documents()
    {
        QFETCH(QString, document);
        QFETCH(QString, written);
        QFETCH(QString, diagnostics);
        const JsonValue result = ParseJson(document);
        QCOMPARE(json::ToJsonText(result), written);
        QCOMPARE(json::Diagnostics(), diagnostics);
        QCOMPARE(result.isEmpty(), written.isEmpty());
    }

    void textValues_data()
    {
        QTest::addColumn<QString>("document");
        QTest::addColumn<QString>("text");
        QTest::newRow("simple escapes") << QStringLiteral("[\"\\\"\\\\\\/\\'\"]") << QStringLiteral("\"\\/'");
        QTest::newRow("control escapes") << QStringLiteral("[\"\\b\\f\\n\\r\\t\"]") << QStringLiteral("\b\f\n\r\t");
        QTest::newRow("u escape") << QStringLiteral("[\"caf\\u00e9\"]") << QStringLiteral("café");
        QTest::newRow("u escape upper case") << QStringLiteral("[\"\\uAC00\"]") << QStringLiteral("가");
        QTest::newRow("u escape stops at a non-hex digit") << QStringLiteral("[\"\\u41zzB\"]") << QStringLiteral("AB");
        QTest::newRow("u escape without digits") << QStringLiteral("[\"\\uxyz!\"]") << QString(QChar(0));
        QTest::newRow("unknown escape drops the backslash") << QStringLiteral("[\"\\x41\"]") << QStringLiteral("x41");
        QTest::newRow("apostrophe inside double quotes") << QStringLiteral("[\"it's\"]") << QStringLiteral("it's");
        QTest::newRow("Korean") << QStringLiteral("[\"사내메신저DB서버\"]") << QStringLiteral("사내메신저DB서버");
        QTest::newRow("long text") << (QStringLiteral("[\"") + QString(20000, u'z') + QStringLiteral("\"]"))
                                   << QString(20000, u'z');
        QTest::newRow("surrogate pair from escapes")
            << QStringLiteral("[\"\\ud83d\\ude00\"]") << QStringLiteral("\U0001F600");
    }
    void textValues()
    {
        QFETCH(QString, document);
        QFETCH(QString, text);
        const JsonValue result = ParseJson(document);
        QCOMPARE(json::Diagnostics(), QString());
        QCOMPARE(result.count(), 1);
        QVERIFY(result[1].isText());
        QCOMPARE(result[1].textForm(), text);
    }

    void numbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("plain"); // empty: conversion fails
        QTest::addColumn<int>("error");
        const int mismatch = platform::vberr::TypeMismatch;
        const int overflow = platform::vberr::Overflow;
        QTest::newRow("integer") << QStringLiteral("12") << QStringLiteral("12") << 0;
        QTest::newRow("plus sign") << QStringLiteral("+5") << QStringLiteral("5") << 0;
        QTest::newRow("negative fraction") << QStringLiteral("-1.25") << QStringLiteral("-1.25") << 0;
        QTest::newRow("trailing zeros dropped") << QStringLiteral("1.50") << QStringLiteral("1.5") << 0;
        QTest::newRow("negative zero") << QStringLiteral("-0.0") << QStringLiteral("0") << 0;
        QTest::newRow("leading point") << QStringLiteral(".5") << QStringLiteral("0.5") << 0;
        QTest::newRow("trailing point") << QStringLiteral("5.") << QStringLiteral("5") << 0;
        QTest::newRow("leading zeros") << QStringLiteral("007") << QStringLiteral("7") << 0;
        QTest::newRow("exponent") << QStringLiteral("1e3") << QStringLiteral("1000") << 0;
        QTest::newRow("negative exponent") << QStringLiteral("1.5E-3") << QStringLiteral("0.0015") << 0;
        QTest::newRow("exponent with plus") << QStringLiteral("2.5e+1") << QStringLiteral("25") << 0;
        QTest::newRow("largest") << QStringLiteral("79228162514264337593543950335")
                                 << QStringLiteral("79228162514264337593543950335") << 0;
        QTest::newRow("most negative") << QStringLiteral("-79228162514264337593543950335")
                                       << QStringLiteral("-79228162514264337593543950335") << 0;
        QTest::newRow("28 fraction digits") << QStringLiteral("0.0000000000000000000000000001")
                                            << QStringLiteral("0.0000000000000000000000000001") << 0;
        QTest::newRow("29th digit half to even, down") << QStringLiteral("0.00000000000000000000000000025")
                                                       << QStringLiteral("0.0000000000000000000000000002") << 0;
        QTest::newRow("29th digit half to even, up") << QStringLiteral("0.00000000000000000000000000035")
                                                     << QStringLiteral("0.0000000000000000000000000004") << 0;
        QTest::newRow("29th digit above half") << QStringLiteral("0.000000000000000000000000000251")
                                               << QStringLiteral("0.0000000000000000000000000003") << 0;
        QTest::newRow("too small is zero") << QStringLiteral("-1e-40") << QStringLiteral("0") << 0;
        QTest::newRow("fraction rounded to fit 96 bits")
            << QStringLiteral("7922816251426433759354395033.56") << QStringLiteral("7922816251426433759354395034") << 0;
        QTest::newRow("many digits rounded") << QStringLiteral("3.14159265358979323846264338327950288")
                                             << QStringLiteral("3.1415926535897932384626433833") << 0;
        QTest::newRow("zero with a huge exponent") << QStringLiteral("0e999999999999") << QStringLiteral("0") << 0;
        QTest::newRow("one past the largest")
            << QStringLiteral("79228162514264337593543950336") << QString() << overflow;
        QTest::newRow("rounds up past the largest")
            << QStringLiteral("79228162514264337593543950335.5") << QString() << overflow;
        QTest::newRow("exponent too big") << QStringLiteral("1e29") << QString() << overflow;
        QTest::newRow("huge exponent") << QStringLiteral("1e99999999999999999999") << QString() << overflow;
        QTest::newRow("empty") << QString() << QString() << mismatch;
        QTest::newRow("lone minus") << QStringLiteral("-") << QString() << mismatch;
        QTest::newRow("lone plus") << QStringLiteral("+") << QString() << mismatch;
        QTest::newRow("misplaced sign") << QStringLiteral("1-2") << QString() << mismatch;
        QTest::newRow("double sign") << QStringLiteral("--1") << QString() << mismatch;
        QTest::newRow("several points") << QStringLiteral("1.2.3") << QString() << mismatch;
        QTest::newRow("lone point") << QStringLiteral(".") << QString() << mismatch;
        QTest::newRow("exponent without mantissa") << QStringLiteral("e5") << QString() << mismatch;
        QTest::newRow("exponent without digits") << QStringLiteral("1e+") << QString() << mismatch;
        QTest::newRow("point in exponent") << QStringLiteral("1e2.5") << QString() << mismatch;
        QTest::newRow("two exponents") << QStringLiteral("1e2e3") << QString() << mismatch;
    }
    void numbers()
    {
        QFETCH(QString, text);
        QFETCH(QString, plain);
        QFETCH(int, error);
        int raised = 0;
        QString got;
        try {
            got = Decimal::fromText(text).toText();
        } catch (const platform::VbError& e) {
            raised = e.number();
        }
        QCOMPARE(raised, error);
        QCOMPARE(got, plain);
        if (error == 0) {
            // The same number inside a document reads the same way.
            const JsonValue doc = ParseJson(QStringLiteral("[") + text + QStringLiteral("]"));
            QCOMPARE(doc[1].textForm(), plain);
        }
    }

    void valueAccess_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("textForm");
        const QString doc =
            QStringLiteral("{\"t\": \"x\", \"n\": -1.5, \"y\": true, \"f\": false, \"z\": null, \"o\": {}, \"a\": []}");
        QTest::newRow("text") << QStringLiteral("t") << int(json::JsonKind::Text) << QStringLiteral("x");
        QTest::newRow("number") << QStringLiteral("n") << int(json::JsonKind::Number) << QStringLiteral("-1.5");
        QTest::newRow("true") << QStringLiteral("y") << int(json::JsonKind::Boolean) << QStringLiteral("True");
        QTest::newRow("false") << QStringLiteral("f") << int(json::JsonKind::Boolean) << QStringLiteral("False");
        QTest::newRow("null") << QStringLiteral("z") << int(json::JsonKind::Null) << QString();
        QTest::newRow("object") << QStringLiteral("o") << int(json::JsonKind::Object) << QString();
        QTest::newRow("array") << QStringLiteral("a") << int(json::JsonKind::Array) << QString();
        QTest::newRow("missing member") << QStringLiteral("T") << int(json::JsonKind::Empty) << QString();
    }
    void valueAccess()
    {
        QFETCH(QString, member);
        QFETCH(int, kind);
        QFETCH(QString, textForm);
        const JsonValue doc = ParseJson(QStringLiteral(
            "{\"t\": \"x\", \"n\": -1.5, \"y\": true, \"f\": false, \"z\": null, \"o\": {}, \"a\": []}"));
        QVERIFY(doc.isObject());
        QCOMPARE(int(doc[member].kind()), kind);
        QCOMPARE(doc[member].textForm(), textForm);
    }

    void arraysCountFromOne()
    {
        const JsonValue doc = ParseJson(QStringLiteral("{\"servers\": [{\"name\": \"a\"}, {\"name\": \"b\"}]}"));
        const JsonValue& servers = doc[QStringLiteral("servers")];
        QCOMPARE(servers.count(), 2);
        QCOMPARE(servers[1][QStringLiteral("name")].textForm(), QStringLiteral("a"));
        QCOMPARE(servers[2][QStringLiteral("name")].textForm(), QStringLiteral("b"));
        QVERIFY(servers[0].isEmpty());
        QVERIFY(servers[3].isEmpty());
        int raised = 0;
        try {
            servers.toArray()->item(3);
        } catch (const platform::VbError& e) {
            raised = e.number();
        }
        QCOMPARE(raised, platform::vberr::SubscriptOutOfRange);
        // Shared by reference: the same object whichever way it is reached.
        QCOMPARE(servers.toArray()->item(1).toObject(), doc[QStringLiteral("servers")][1].toObject());
    }

    void largeObjectsKeepOrderAndFindKeys()
    {
        QString doc = QStringLiteral("{");
        for (int i = 0; i < 100; ++i)
            doc += QStringLiteral("\"k%1\": %1,").arg(99 - i);
        doc += QStringLiteral("\"k5\": 0}");
        const JsonValue result = ParseJson(doc);
        QCOMPARE(json::Diagnostics(), crlf(DuplicateKey + QStringLiteral(": k5")));
        QCOMPARE(result.count(), 100);
        QCOMPARE(result.toObject()->members().front().key, QStringLiteral("k99"));
        QCOMPARE(result[QStringLiteral("k42")].textForm(), QStringLiteral("42"));
    }

    void diagnosticsAreReplacedByEachParse()
    {
        ParseJson(QStringLiteral("nope"));
        QCOMPARE(json::Diagnostics(), QStringLiteral("Invalid JSON"));
        ParseJson(QStringLiteral("{}"));
        QCOMPARE(json::Diagnostics(), QString());
    }

    void restOfTextIsCutAt200Characters()
    {
        const QString tail = QString(300, u'x');
        ParseJson(QStringLiteral("[nul") + tail + QStringLiteral("]"));
        const QString expected = QStringLiteral("Invalid null value at position 2 : nul") + tail.left(197);
        QCOMPARE(json::Diagnostics(), crlf(expected));
    }

    void deepNestingIsCutOff_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<bool>("closed");
        QTest::newRow("512 levels read") << 512 << true;
        QTest::newRow("513 levels") << 513 << true;
        QTest::newRow("100000 levels, closed") << 100000 << true;
        QTest::newRow("100000 levels, never closed") << 100000 << false;
    }
    void deepNestingIsCutOff()
    {
        QFETCH(int, depth);
        QFETCH(bool, closed);
        // Alternating arrays and objects, with one more member after the nest.
        QString doc;
        const int nest = closed ? depth - 1 : depth; // a closed nest sits in one more object
        for (int i = 0; i < nest; ++i)
            doc += i % 2 ? QStringLiteral("{\"k\": ") : QStringLiteral("[");
        for (int i = nest - 1; closed && i >= 0; --i)
            doc += i % 2 ? QStringLiteral("}") : QStringLiteral("]");
        if (closed)
            doc = QStringLiteral("{\"deep\": ") + doc + QStringLiteral(", \"after\": 1}");
        const JsonValue result = ParseJson(doc);
        if (depth <= 512) {
            QCOMPARE(json::Diagnostics(), QString());
            return;
        }
        const QString diagnostics = json::Diagnostics();
        QVERIFY(diagnostics.startsWith(QStringLiteral("Too deep at position ")));
        QCOMPARE(diagnostics.count(QStringLiteral("Too deep")), 1);
        if (closed) {
            QCOMPARE(diagnostics.count(QStringLiteral("\r\n")), 1);
            QCOMPARE(result[QStringLiteral("after")].textForm(), QStringLiteral("1"));
        } else {
            // Each open level reports the missing end once.
            QCOMPARE(diagnostics.count(QStringLiteral("\r\n")), 1 + 512);
        }
    }

    void readsWhatItWrites()
    {
        const QString doc = QStringLiteral("{\"ver\": 3.10, \"servers\": [{\"name\": \"자동업데이트_런처\", \"host\": "
                                           "\"10.0.0.1\", \"port\": 80, \"on\": true, \"x\": null}], \"e\": {}}");
        const JsonValue first = ParseJson(doc);
        const QString written = json::ToJsonText(first);
        const JsonValue second = ParseJson(written);
        QCOMPARE(json::Diagnostics(), QString());
        QCOMPARE(json::ToJsonText(second), written);
        QCOMPARE(second[QStringLiteral("ver")].textForm(), QStringLiteral("3.1"));
    }
};

QTEST_APPLESS_MAIN(tst_JsonReader)
#include "tst_jsonreader.moc"
