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

namespace {

// What a template file says. ADMX: the values written ("key\name:text" or ":number"; enums offer text), the last
// value offered for each name, and the strings, presentations and presentation elements it refers to ("string:id",
// "presentation:id", "presentation/element"). ADML: the ones it defines.
struct Template final
{
    QString error;
    QStringList values;
    QMap<QString, QString> choices;
    QSet<QString> used, defined;
};

Template read(const QString& name)
{
    Template t;
    QFile file(QStringLiteral(ZT_POLICY_DEFINITIONS "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        t.error = file.fileName() + QStringLiteral(": ") + file.errorString();
    static const QRegularExpression reference(QStringLiteral(R"(\$\((string|presentation)\.([^)]*)\))"));
    QXmlStreamReader xml(&file);
    QString key, presentation, value;
    while (t.error.isEmpty() && xml.readNext() != QXmlStreamReader::EndDocument && !xml.hasError()) {
        const QXmlStreamAttributes attributes = xml.attributes();
        const auto has = [&](const char* attribute) { return attributes.hasAttribute(QLatin1StringView(attribute)); };
        const auto get = [&](const char* attribute) {
            return attributes.value(QLatin1StringView(attribute)).toString();
        };
        const QStringView tag = xml.name();
        for (const QXmlStreamAttribute& each : attributes) {
            for (const QRegularExpressionMatch& match : reference.globalMatch(each.value()))
                t.used.insert(match.captured(1) + u':' + match.captured(2));
        }
        if (tag == u"policy") {
            key = get("key");
            presentation = reference.match(get("presentation")).captured(2);
        }
        if (tag == u"presentation")
            t.defined.insert(QStringLiteral("presentation:") + (presentation = get("id")));
        if (tag == u"string" && has("id"))
            t.defined.insert(QStringLiteral("string:") + get("id"));
        if (has("refId"))
            t.defined.insert(presentation + u'/' + get("refId"));
        if (has("valueName")) {
            value = get("valueName");
            const bool text = tag == u"text" || tag == u"enum";
            t.values.append((has("key") ? get("key") : key) + u'\\' + value +
                            (text ? QStringLiteral(":text") : QStringLiteral(":number")));
            if (tag != u"policy")
                t.used.insert(presentation + u'/' + get("id"));
        }
        if (tag == u"string" && !has("id"))
            t.choices.insert(value, xml.readElementText());
    }
    if (xml.hasError())
        t.error = file.fileName() + u':' + QString::number(xml.lineNumber()) + QStringLiteral(": ") + xml.errorString();
    return t;
}

} // namespace

// The Group Policy template against the table of values the program reads.
class tst_PolicyTemplate final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void templateWritesWhatTheProgramReads()
    {
        const Template admx = read(QStringLiteral("NorvaQuillet.admx"));
        QVERIFY2(admx.error.isEmpty(), qPrintable(admx.error));
        QStringList table;
        for (const platform::MachinePolicyValue& value : platform::MachinePolicyValues) {
            if (value.onWindows)
                table.append(QStringLiteral("SOFTWARE\\Policies\\") + QString::fromUtf8(platform::build::CompanyName) +
                             QStringLiteral("\\NorvaQuillet\\") + QString::fromUtf16(value.name) +
                             (value.type == platform::PolicyValueType::Text ? QStringLiteral(":text")
                                                                            : QStringLiteral(":number")));
        }
        QCOMPARE(QSet<QString>(admx.values.begin(), admx.values.end()), QSet<QString>(table.begin(), table.end()));
        QCOMPARE(admx.values.size(), table.size());
        for (auto choice = admx.choices.cbegin(); choice != admx.choices.cend(); ++choice) {
            const auto policy = platform::interpretMachinePolicy({{choice.key(), choice.value(), {}}}, {});
            QVERIFY2(policy.notice.isEmpty(), qPrintable(policy.notice));
        }
        for (const QString& language : {QStringLiteral("en-US"), QStringLiteral("ko-KR")}) {
            const Template adml = read(language + QStringLiteral("/NorvaQuillet.adml"));
            const QStringList unresolved = (admx.used - adml.defined).values();
            QVERIFY2(adml.error.isEmpty() && unresolved.isEmpty(), qPrintable(adml.error + unresolved.join(u' ')));
        }
    }

    // Under Wine: each value written with reg add as the template writes it is obeyed.
    void valuesSetAsTheTemplateWritesAreObeyed()
    {
#ifndef Q_OS_WIN
        QSKIP("the template is Windows' (the Linux policy file is read in tst_platform)");
#else
        const QString pin = QStringLiteral("AA:95:CB:31:5E:48:DC:B8:FE:A9:63:A9:E9:FC:90:E2:4F:84:7E:A9");
        const Template admx = read(QStringLiteral("NorvaQuillet.admx"));
        QMap<QString, QString> values = admx.choices; // the last choice, or what IT would type
        values.insert({{QStringLiteral("DatabaseHosts"), QStringLiteral("db.corp.example;10.1.2.3")},
                       {QStringLiteral("DatabaseTlsFingerprint"), pin},
                       {QStringLiteral("DiagnosticLog"), QStringLiteral("1")}});
        const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\") + admx.values.value(0).section(u'\\', 0, -2);
        const auto reg = [&](const QString& operation, const QStringList& arguments) {
            return QProcess::execute(QStringLiteral("reg"),
                                     QStringList{operation, key} + arguments << QStringLiteral("/f"));
        };
        auto remove = qScopeGuard([&] { reg(QStringLiteral("delete"), {}); });
        for (const QString& written : admx.values) {
            const QString name = written.section(u'\\', -1).section(u':', 0, 0);
            const QString type =
                written.endsWith(QStringLiteral(":text")) ? QStringLiteral("REG_SZ") : QStringLiteral("REG_DWORD");
            QVERIFY2(values.contains(name), qPrintable(name + QStringLiteral(": no value to write")));
            QCOMPARE(reg(QStringLiteral("add"),
                         {QStringLiteral("/v"), name, QStringLiteral("/t"), type, QStringLiteral("/d"), values[name]}),
                     0);
        }
        const platform::DatabaseTlsPolicy policy = platform::readDatabaseTlsPolicy(platform::machinePolicyLocation());
        QVERIFY2(policy.notice.isEmpty(), qPrintable(policy.notice));
        QCOMPARE(policy.mode, platform::DatabaseTls::Verify);
        QCOMPARE(policy.hosts,
                 std::optional(QStringList{QStringLiteral("db.corp.example"), QStringLiteral("10.1.2.3")}));
        QCOMPARE(policy.fingerprint, pin.toLower().remove(u':'));
        QCOMPARE(policy.diagnosticLog, platform::PolicySwitch::On);
        // A name the program does not read, and a value of another type: each said, with the key.
        QCOMPARE(reg(QStringLiteral("add"), {QStringLiteral("/v"), QStringLiteral("DatabaseTIs"), QStringLiteral("/d"),
                                             QStringLiteral("prefer")}),
                 0);
        QCOMPARE(reg(QStringLiteral("add"), {QStringLiteral("/v"), QStringLiteral("DatabaseTls"), QStringLiteral("/t"),
                                             QStringLiteral("REG_DWORD"), QStringLiteral("/d"), QStringLiteral("0")}),
                 0);
        const QString notice = platform::readDatabaseTlsPolicy(platform::machinePolicyLocation()).notice;
        QVERIFY2(notice.contains(key + QStringLiteral(": 이 프로그램이 쓰지 않는 값 DatabaseTIs")) &&
                     notice.contains(QStringLiteral("DatabaseTls은(는) REG_SZ")),
                 qPrintable(notice));
#endif
    }
};

QTEST_GUILESS_MAIN(tst_PolicyTemplate)
#include "tst_policytemplate.moc"
