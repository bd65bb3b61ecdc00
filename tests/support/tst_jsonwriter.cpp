#include "json.h"

#include <QTest>

using namespace json;

namespace {

JsonValue text(const QString& s)
{
    return JsonValue(s);
}

JsonValue number(const char16_t* s)
{
    return JsonValue(Decimal::fromText(QStringView(s)));
}

JsonValue object(std::initializer_list<std::pair<QString, JsonValue>> members)
{
    auto o = JsonObject::create();
    for (const auto& [key, value] : members)
        o->add(key, value);
    return JsonValue(o);
}

JsonValue array(std::initializer_list<JsonValue> items)
{
    auto a = JsonArray::create();
    for (const auto& item : items)
        a->add(item);
    return JsonValue(a);
}

} // namespace

Q_DECLARE_METATYPE(json::JsonValue)

class tst_JsonWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void writes_data()
    {
        QTest::addColumn<JsonValue>("value");
        QTest::addColumn<QString>("written");
        QTest::newRow("server list")
            << object({{QStringLiteral("ver"), text(QStringLiteral("12"))},
                       {QStringLiteral("servers"),
                        array({object({{QStringLiteral("name"), text(QStringLiteral("a"))},
                                       {QStringLiteral("host"), text(QStringLiteral("b"))}})})}})
            << QStringLiteral("{\"ver\": \"12\",\"servers\": [{\"name\": \"a\",\"host\": \"b\"}]}");
        QTest::newRow("empty object") << object({}) << QStringLiteral("{}");
        QTest::newRow("empty array") << array({}) << QStringLiteral("[]");
        QTest::newRow("empty object in an array") << array({object({})}) << QStringLiteral("[{}]");
        QTest::newRow("scalars") << array({JsonValue(true), JsonValue(false), JsonValue::null(), number(u"-1.50"),
                                           number(u"1e5")})
                                 << QStringLiteral("[true,false,null,-1.5,100000]");
        QTest::newRow("double quote escaped")
            << text(QStringLiteral("say \"hi\"")) << QStringLiteral("\"say \\\"hi\\\"\"");
        QTest::newRow("nothing else escaped")
            << text(QStringLiteral("a\\b\r\n\t/한글")) << QStringLiteral("\"a\\b\r\n\t/한글\"");
        QTest::newRow("keys written unchanged")
            << object({{QStringLiteral("k\"ey"), JsonValue(true)}}) << QStringLiteral("{\"k\"ey\": true}");
        QTest::newRow("empty member value")
            << object({{QStringLiteral("a"), JsonValue()}, {QStringLiteral("b"), JsonValue()}})
            << QStringLiteral("{\"a\": ,\"b\": }");
        QTest::newRow("empty value alone") << JsonValue() << QString();
        QTest::newRow("empty array element") << array({JsonValue()}) << QStringLiteral("[]");
        QTest::newRow("empty text") << text(QString()) << QStringLiteral("\"\"");
    }
    void writes()
    {
        QFETCH(JsonValue, value);
        QFETCH(QString, written);
        QCOMPARE(ToJsonText(value), written);
    }

    void sharedObjectsAreWrittenWhereverTheyAppear()
    {
        auto shared = JsonObject::create();
        shared->add(QStringLiteral("x"), JsonValue(Decimal::fromInt(1)));
        auto list = JsonArray::create();
        list->add(JsonValue(shared));
        list->add(JsonValue(shared));
        QCOMPARE(ToJsonText(JsonValue(list)), QStringLiteral("[{\"x\": 1},{\"x\": 1}]"));
    }

    void largeArraysAreWritten()
    {
        auto list = JsonArray::create();
        for (int i = 0; i < 40000; ++i)
            list->add(JsonValue(Decimal::fromInt(i % 10)));
        const QString written = ToJsonText(JsonValue(list));
        QCOMPARE(written.size(), 2 + 40000 * 2 - 1);
        QVERIFY(written.endsWith(QStringLiteral(",8,9]")));
        QCOMPARE(ParseJson(written).count(), 40000);
    }

    void backslashesDoNotSurviveTheRoundTrip()
    {
        // Only quotes are escaped, so a written backslash reads back as an escape.
        const QString written = ToJsonText(array({text(QStringLiteral("C:\\new"))}));
        QCOMPARE(written, QStringLiteral("[\"C:\\new\"]"));
        QCOMPARE(ParseJson(written)[1].textForm(), QStringLiteral("C:\new"));
    }
};

QTEST_APPLESS_MAIN(tst_JsonWriter)
#include "tst_jsonwriter.moc"
