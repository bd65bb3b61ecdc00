#include "BuildInfo.h"
#include "DatabaseTlsPolicy.h"

#include <QFile>
#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QXmlStreamReader>

#ifdef Q_OS_WIN
#include <QProcess>
#include <QScopeGuard>
#endif

using platform::PolicyValueType;

namespace {

// A value the template writes: its type (known once a value of it is seen), the values it offers, its key.
struct Written final
{
    std::optional<PolicyValueType> type;
    QStringList choices;
    QString key;
};

// What a template file says: in the ADMX the values written and the references made, in an ADML the strings and
// presentations defined (each presentation with the elements it shows). Both: the element ids of each presentation.
struct Template final
{
    QString error;
    QMap<QString, Written> values;
    QSet<QString> strings, presentations;
    QMap<QString, QSet<QString>> elements;
};

Template read(const QString& name)
{
    Template t;
    QFile file(QStringLiteral(ZT_POLICY_DEFINITIONS "/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        t.error = file.fileName() + QStringLiteral(": ") + file.errorString();
        return t;
    }
    const bool admx = name.endsWith(QStringLiteral(".admx"));
    static const QRegularExpression reference(QStringLiteral(R"(\$\((string|presentation)\.([^)]*)\))"));
    QXmlStreamReader xml(&file);
    QString key, presentation, value;
    while (xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
        if (!xml.isStartElement())
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const auto attribute = [&](const char* attributeName) {
            return attributes.value(QLatin1StringView(attributeName)).toString();
        };
        const QStringView tag = xml.name();
        if (!admx) {
            if (tag == u"string")
                t.strings.insert(attribute("id"));
            if (tag == u"presentation")
                t.presentations.insert(presentation = attribute("id"));
            if (attributes.hasAttribute(QLatin1StringView("refId")))
                t.elements[presentation].insert(attribute("refId"));
            continue;
        }
        for (const QXmlStreamAttribute& each : attributes) {
            for (const QRegularExpressionMatch& match : reference.globalMatch(each.value()))
                (match.captured(1) == u"string" ? t.strings : t.presentations).insert(match.captured(2));
        }
        if (tag == u"policy") {
            key = attribute("key");
            presentation = reference.match(attribute("presentation")).captured(2);
            if (attribute("class") != u"Machine")
                t.error = attribute("name") + QStringLiteral(": not a machine policy");
        }
        if (attributes.hasAttribute(QLatin1StringView("valueName"))) {
            value = attribute("valueName");
            if (t.values.contains(value))
                t.error = value + QStringLiteral(": written twice");
            Written& written = t.values[value];
            written.key = attributes.hasAttribute(QLatin1StringView("key")) ? attribute("key") : key;
            if (tag == u"text")
                written.type = PolicyValueType::Text;
            if (tag == u"boolean" || tag == u"decimal")
                written.type = PolicyValueType::Number;
            if (tag != u"policy")
                t.elements[presentation].insert(attribute("id"));
        } else if (tag == u"decimal") {
            t.values[value].type = PolicyValueType::Number;
        } else if (tag == u"string") {
            t.values[value].type = PolicyValueType::Text;
            t.values[value].choices.append(xml.readElementText());
        }
    }
    if (xml.hasError())
        t.error = file.fileName() + u':' + QString::number(xml.lineNumber()) + QStringLiteral(": ") + xml.errorString();
    return t;
}

} // namespace

// The Group Policy template against the table the program reads: the same values, types and key; references that
// resolve in every language; and, under Wine, values written as the template writes them are obeyed.
class tst_PolicyTemplate final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void templateWritesWhatTheProgramReads()
    {
        const Template admx = read(QStringLiteral("NorvaQuillet.admx"));
        QVERIFY2(admx.error.isEmpty(), qPrintable(admx.error));
        QSet<QString> table;
        for (const platform::MachinePolicyValue& value : platform::MachinePolicyValues) {
            if (!value.onWindows)
                continue;
            const QString name = QString::fromUtf16(value.name);
            table.insert(name);
            QVERIFY2(admx.values.contains(name), qPrintable(name + QStringLiteral(": not in the template")));
            QVERIFY2(admx.values[name].type == value.type, qPrintable(name + QStringLiteral(": another type")));
        }
        QCOMPARE(QSet<QString>(admx.values.keyBegin(), admx.values.keyEnd()), table);
        for (auto written = admx.values.cbegin(); written != admx.values.cend(); ++written) {
            QCOMPARE(written->key, QStringLiteral("SOFTWARE\\Policies\\") +
                                       QString::fromUtf8(platform::build::CompanyName) +
                                       QStringLiteral("\\NorvaQuillet"));
            for (const QString& choice : written->choices) {
                const auto policy = platform::interpretMachinePolicy({{written.key(), choice, {}}}, {});
                QVERIFY2(policy.notice.isEmpty(), qPrintable(policy.notice));
            }
        }
    }

    void referencesResolve_data()
    {
        QTest::addColumn<QString>("language");
        QTest::newRow("en-US") << QStringLiteral("en-US");
        QTest::newRow("ko-KR") << QStringLiteral("ko-KR");
    }
    void referencesResolve()
    {
        QFETCH(QString, language);
        const Template admx = read(QStringLiteral("NorvaQuillet.admx"));
        const Template adml = read(language + QStringLiteral("/NorvaQuillet.adml"));
        QVERIFY2(adml.error.isEmpty(), qPrintable(adml.error));
        QVERIFY2(adml.strings.contains(admx.strings), qPrintable((admx.strings - adml.strings).values().join(u' ')));
        QCOMPARE(admx.presentations - adml.presentations, QSet<QString>());
        for (const QString& presentation : admx.presentations)
            QCOMPARE(adml.elements.value(presentation), admx.elements.value(presentation));
    }

    void valuesSetAsTheTemplateWritesAreObeyed()
    {
#ifndef Q_OS_WIN
        QSKIP("the template is Windows' (the Linux policy file is read in tst_platform)");
#else
        // What IT would type for each value that offers no choices.
        const QMap<QString, QString> typed{
            {QStringLiteral("DatabaseHosts"), QStringLiteral("db.corp.example;10.1.2.3")},
            {QStringLiteral("DatabaseTlsFingerprint"),
             QStringLiteral("AA:95:CB:31:5E:48:DC:B8:FE:A9:63:A9:E9:FC:90:E2:4F:84:7E:A9")},
        };
        const Template admx = read(QStringLiteral("NorvaQuillet.admx"));
        const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\") + admx.values.first().key;
        auto remove = qScopeGuard([&] {
            QProcess::execute(QStringLiteral("reg"), {QStringLiteral("delete"), key, QStringLiteral("/f")});
        });
        for (auto written = admx.values.cbegin(); written != admx.values.cend(); ++written) {
            const QString value =
                written->choices.isEmpty() ? typed.value(written.key()) : written->choices.constLast();
            QVERIFY2(!value.isEmpty(), qPrintable(written.key() + QStringLiteral(": no value to type")));
            const QString type =
                written->type == PolicyValueType::Number ? QStringLiteral("REG_DWORD") : QStringLiteral("REG_SZ");
            QCOMPARE(QProcess::execute(QStringLiteral("reg"),
                                       {QStringLiteral("add"), key, QStringLiteral("/v"), written.key(),
                                        QStringLiteral("/t"), type, QStringLiteral("/d"), value, QStringLiteral("/f")}),
                     0);
        }
        const platform::DatabaseTlsPolicy policy = platform::readDatabaseTlsPolicy(platform::machinePolicyLocation());
        QVERIFY2(policy.notice.isEmpty(), qPrintable(policy.notice));
        QCOMPARE(policy.mode, platform::DatabaseTls::Verify);
        QCOMPARE(policy.hosts,
                 std::optional(QStringList{QStringLiteral("db.corp.example"), QStringLiteral("10.1.2.3")}));
        QCOMPARE(policy.fingerprint, QStringLiteral("aa95cb315e48dcb8fea963a9e9fc90e24f847ea9"));
#endif
    }
};

QTEST_GUILESS_MAIN(tst_PolicyTemplate)
#include "tst_policytemplate.moc"
