#include "DatabaseTlsPolicy.h"

#include <QSet>

#include <algorithm>

namespace platform {

namespace {

const QString NotUnderstood =
    QStringLiteral("이 PC의 데이터베이스 연결 정책에 이해할 수 없는 값이 있어, 암호화 연결(TLS)을 요구(require)하는 "
                   "것으로 처리합니다. 관리자에게 알려 주세요:");
const QString ValueUnusable = QStringLiteral("이 PC의 정책 값을 이해할 수 없어 데이터베이스에 접속하지 않습니다: ");
const QString HostNotAllowed = QStringLiteral("서버 목록이 지정한 데이터베이스 서버 \"%1\"은(는) 이 PC의 정책(%2)이 "
                                              "허용한 서버가 아닙니다.");
const QString AskAdministrator = QStringLiteral(" 관리자에게 문의바랍니다.");

// "a;b": names without blanks (a blank, or a comma, means another separator was meant). Nothing when no name is
// there or one is not a name.
std::optional<QStringList> parseHosts(const QString& value)
{
    QStringList hosts;
    for (const QString& part : value.split(u';')) {
        const QString host = part.trimmed();
        if (host.isEmpty())
            continue;
        if (std::any_of(host.begin(), host.end(), [](QChar c) { return c.isSpace() || c == u','; }))
            return std::nullopt;
        hosts.append(host);
    }
    if (hosts.isEmpty())
        return std::nullopt;
    return hosts;
}

// 40 hex digits, pairs separated by colons or not (as openssl and the certificate viewers show them).
QString parseFingerprint(const QString& value)
{
    QString digits = value;
    digits.remove(u':');
    const bool hex = digits.size() == 40 && std::all_of(digits.begin(), digits.end(), [](QChar c) {
                         return (c >= u'0' && c <= u'9') || (c.toLower() >= u'a' && c.toLower() <= u'f');
                     });
    return hex ? digits.toLower() : QString();
}

// A host as the server list or the policy may write it: any case, a final dot, brackets around an IPv6 address.
QString comparableHost(QString host)
{
    host = host.trimmed().toLower();
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    if (host.endsWith(u'.'))
        host.chop(1);
    return host;
}

} // namespace

const MachinePolicyValue* findMachinePolicyValue(const QString& name)
{
    for (const MachinePolicyValue& value : MachinePolicyValues) {
#ifdef Q_OS_WIN
        if (!value.onWindows)
            continue;
#endif
        if (name.compare(QString::fromUtf16(value.name), Qt::CaseInsensitive) == 0)
            return &value;
    }
    return nullptr;
}

std::optional<DatabaseTls> parseDatabaseTls(const QString& raw)
{
    const QString value = raw.trimmed();
    if (value.isEmpty() || value.compare(QStringLiteral("prefer"), Qt::CaseInsensitive) == 0)
        return DatabaseTls::Prefer;
    if (value.compare(QStringLiteral("require"), Qt::CaseInsensitive) == 0)
        return DatabaseTls::Require;
    if (value.compare(QStringLiteral("verify"), Qt::CaseInsensitive) == 0)
        return DatabaseTls::Verify;
    return std::nullopt;
}

DatabaseTlsPolicy interpretMachinePolicy(const QList<MachinePolicyEntry>& entries, QStringList problems)
{
    DatabaseTlsPolicy policy;
    QStringList unusable;
    QSet<QString> seen;
    for (const MachinePolicyEntry& entry : entries) {
        const QString value = entry.value.trimmed();
        const QString said = entry.where + QStringLiteral(": ") + entry.name + QStringLiteral(" = \"") + value + u'"';
        if (value.isEmpty())
            continue;
        if (seen.contains(entry.name)) {
            // The first one counts; whoever wrote the second meant something else.
            problems.append(said);
            continue;
        }
        seen.insert(entry.name);
        if (entry.name == QString::fromUtf16(DatabaseTlsName)) {
            if (const std::optional<DatabaseTls> mode = parseDatabaseTls(value))
                policy.mode = std::max(policy.mode, *mode);
            else
                problems.append(said);
        } else if (entry.name == QString::fromUtf16(DatabaseTlsCaFileName)) {
            policy.caFile = value;
        } else if (entry.name == QString::fromUtf16(DatabaseHostsName)) {
            policy.hosts = parseHosts(value);
            if (!policy.hosts) {
                problems.append(said);
                unusable.append(said);
            }
        } else if (entry.name == QString::fromUtf16(DatabaseTlsFingerprintName)) {
            // A pinned certificate only comes over TLS.
            policy.fingerprint = parseFingerprint(value);
            policy.mode = std::max(policy.mode, DatabaseTls::Require);
            if (policy.fingerprint.isEmpty()) {
                problems.append(said);
                unusable.append(said);
            }
        } else if (entry.name == QString::fromUtf16(DiagnosticLogName)) {
            if (value == u'0' || value == u'1')
                policy.diagnosticLog = value == u'1' ? PolicySwitch::On : PolicySwitch::Off;
            else
                problems.append(said);
        } else {
            problems.append(said);
        }
    }
    if (!problems.isEmpty()) {
        policy.mode = std::max(policy.mode, DatabaseTls::Require);
        policy.notice = NotUnderstood + QStringLiteral("\r\n") + problems.join(QStringLiteral("\r\n"));
    }
    if (!unusable.isEmpty())
        policy.refusal = ValueUnusable + unusable.join(QStringLiteral(", ")) + u'.' + AskAdministrator;
    return policy;
}

QString databaseConnectionRefusal(const DatabaseTlsPolicy& policy, const QString& host)
{
    if (!policy.refusal.isEmpty())
        return policy.refusal;
    if (!policy.hosts)
        return {};
    const QString dialled = comparableHost(host);
    for (const QString& allowed : *policy.hosts) {
        if (comparableHost(allowed) == dialled)
            return {};
    }
    return HostNotAllowed.arg(host, QString::fromUtf16(DatabaseHostsName)) + AskAdministrator;
}

} // namespace platform
