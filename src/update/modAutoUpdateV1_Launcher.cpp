#include "modAutoUpdateV1_Launcher.h"

#include "LogCategories.h"
#include "Processes.h"
#include "VbError.h"
#include "mdlFile.h"
#include "modAutoUpdateV1_Download.h"
#include "modMainShared.h"
#include "modUniCode.h"
#include "modWaitProc.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cmath>
#include <limits>

namespace modAutoUpdateV1_Launcher {

QString UpdateBaseUrl;

namespace {

const QString ModuleName = QStringLiteral("modAutoUpdateV1_Launcher");

void reportError(const platform::Services& services, const platform::VbError& error, const QString& procedure)
{
    services.messageBox->show(platform::errorReportText(error, procedure, platform::ReportOwner::Module, ModuleName));
}

using modAutoUpdateV1_Download::Refusal;

void showError(const platform::Services& services, const QString& text)
{
    services.messageBox->show(text, QString(), platform::MessageIcon::Error);
}

// Saves url's file over path; a file refused (its signature, its version, its size) is discarded, and said, with
// why the copy in the folder does not run either when it does not.
bool fetchTool(const platform::Services& services, const QString& url, const QString& path,
               modAutoUpdateV1_Download::VersionRule rule)
{
    const std::optional<Refusal> installed = modAutoUpdateV1_Download::CheckInstalled(path);
    const modAutoUpdateV1_Download::Fetched fetched =
        modAutoUpdateV1_Download::FetchFile(url, path, services.waitWindow, rule);
    const QString name = QFileInfo(path).fileName();
    if (fetched.refused)
        showError(services,
                  modAutoUpdateV1_Download::SignatureRefusedText(name, *fetched.refused) +
                      (installed ? QStringLiteral("\r\n\r\n") + modAutoUpdateV1_Download::NotRunText(name, *installed)
                                 : QString()));
    return fetched.saved;
}

// The running build's version, as a program file's version reads.
QString ownVersionText()
{
    const platform::Version v = platform::ownVersion();
    return QStringLiteral("%1.%2.%3.%4").arg(v.major).arg(v.minor).arg(v.patch).arg(v.revision);
}

} // namespace

QString UpdateBaseUrlFor(const QString& host)
{
    return QStringLiteral("http://") + host + QStringLiteral("/download/자동업데이트_v1/");
}

QString VersionFileName(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    return (dot >= 0 ? fileName.left(dot) : fileName) + QStringLiteral("_lastver.txt");
}

double LeadingNumber(const QString& text)
{
    // Sign, digits, "." and digits, then an exponent only when digits follow it: the longest prefix that
    // still reads as a number.
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text.at(i).isSpace())
        ++i;
    const qsizetype start = i;
    if (i < n && (text.at(i) == u'+' || text.at(i) == u'-'))
        ++i;
    const auto isDigit = [&](qsizetype at) { return at < n && text.at(at) >= u'0' && text.at(at) <= u'9'; };
    bool digits = false;
    while (isDigit(i))
        ++i, digits = true;
    if (i < n && text.at(i) == u'.') {
        ++i;
        while (isDigit(i))
            ++i, digits = true;
    }
    if (!digits)
        return 0.0;
    qsizetype end = i;
    if (i < n && (text.at(i) == u'e' || text.at(i) == u'E')) {
        qsizetype e = i + 1;
        if (e < n && (text.at(e) == u'+' || text.at(e) == u'-'))
            ++e;
        if (isDigit(e)) {
            while (isDigit(e))
                ++e;
            end = e;
        }
    }
    QString number = text.mid(start, end - start);
    if (number.endsWith(u'.'))
        number.chop(1);
    bool ok = false;
    const double value = number.toDouble(&ok);
    return ok ? value : 0.0;
}

qint32 VersionValue(const QString& text)
{
    const double value = std::nearbyint(LeadingNumber(text)); // the default rounding: halves to even
    if (!std::isfinite(value) || value < double(std::numeric_limits<qint32>::min()) ||
        value > double(std::numeric_limits<qint32>::max()))
        throw platform::makeVbError(platform::vberr::Overflow);
    return static_cast<qint32>(value);
}

QString LocalRevisionText(const platform::Services& services, const QString& path)
{
    if (!modUniCode::FileExists(path))
        return QStringLiteral("0");
    const QString version = mdlFile::GetFileVer(services, path, true, true);
    return version.mid(version.lastIndexOf(u'.') + 1);
}

platform::Result<Freshness> CompareWithServer(const platform::Services& services, const QString& folderUrl,
                                              const QString& fileName, const QString& localPath, MissingFile missing)
{
    const bool present = modUniCode::FileExists(localPath);
    const QString serverText =
        modAutoUpdateV1_Download::OpenUrl(folderUrl + VersionFileName(fileName), services.waitWindow).trimmed();
    if (serverText.isEmpty()) {
        qCWarning(platform::lcUpdate).noquote()
            << fileName + QStringLiteral(": the server's version file cannot be read");
        return Freshness::Unreadable;
    }
    qint32 serverRevision = 0;
    try {
        serverRevision = VersionValue(serverText);
    } catch (const platform::VbError& error) {
        return error;
    }
    const QString localRevision = present ? LocalRevisionText(services, localPath) : QStringLiteral("none");
    // A program its kept signature does not vouch for is fetched again, with its signature.
    const bool unvouched = present && modAutoUpdateV1_Download::CheckInstalled(localPath);
    const bool outdated =
        (!present && missing == MissingFile::Outdated) || unvouched || LeadingNumber(localRevision) < serverRevision;
    qCInfo(platform::lcUpdate).noquote() << fileName + QStringLiteral(": revision here ") + localRevision +
                                                (unvouched ? QStringLiteral(" (no valid signature beside it)")
                                                           : QString()) +
                                                QStringLiteral(", on the server ") + QString::number(serverRevision) +
                                                (outdated ? QStringLiteral(", to fetch") : QStringLiteral(", current"));
    return outdated ? Freshness::Outdated : Freshness::Current;
}

bool AutoUpdaterSelfUpdate(const platform::Services& services)
{
    const QString name = QString::fromUtf16(CheckerName);
    const QString localPath = services.app.filePath(name);
    UpdateBaseUrl = UpdateBaseUrlFor(modMain::UpdateServerHost);

    const platform::Result<Freshness> freshness =
        CompareWithServer(services, UpdateBaseUrl, name, localPath, MissingFile::RevisionZero);
    if (!freshness) {
        // Reported, then on with the next step as every trapped failure here: the server's revision stays 0,
        // and no local revision is below that.
        reportError(services, freshness.error(), QStringLiteral("AutoUpdaterSelfUpdate"));
        return true;
    }
    switch (*freshness) {
    case Freshness::Unreadable:
        services.messageBox->show(name + QStringLiteral("의 최신버전 정보를 읽어올 수 없습니다!"), QString(),
                                  platform::MessageIcon::Error);
        return false;
    case Freshness::Current: return true;
    case Freshness::Outdated: break;
    }

    using modAutoUpdateV1_Download::VersionRule;
    if (!fetchTool(services, UpdateBaseUrl + name, localPath, VersionRule::Newer))
        return false;
    const QString replacer = QString::fromUtf16(ReplacerName);
    return fetchTool(services, UpdateBaseUrl + replacer, services.app.filePath(replacer), VersionRule::NotOlder);
}

bool RunAutoUpdate(const platform::Services& services, bool skipSelfUpdate)
{
    if (!skipSelfUpdate && !AutoUpdaterSelfUpdate(services))
        return false;

    const QString checker = services.app.filePath(QString::fromUtf16(CheckerName));
    const QString exeFileName = services.app.exeFileName;
    if (exeFileName.isEmpty() || !modUniCode::FileExists(services.app.filePath(exeFileName)))
        return false;

    if (const std::optional<Refusal> refused = modAutoUpdateV1_Download::CheckInstalled(checker)) {
        showError(services, modAutoUpdateV1_Download::NotRunText(QString::fromUtf16(CheckerName), *refused));
        return false;
    }
    const QString parameters =
        QString::number(static_cast<qint16>(platform::ownVersion().revision)) + u';' + exeFileName;
    modWaitProc::RunAndWait(checker, 0, parameters, services.app.dir, false, false);

    const QString newBuild = QStringLiteral("New_") + exeFileName;
    const QString newPath = services.app.filePath(newBuild);
    const bool newBuildLeft = modUniCode::FileExists(newPath);
    qCInfo(platform::lcUpdate).noquote() << QStringLiteral("the version checker ran (") + parameters + u')'
                                         << (newBuildLeft ? QStringLiteral("and left ") + newBuild
                                                          : QStringLiteral("and left no newer build"));
    if (!newBuildLeft)
        return false;

    // The checker is not ours: only a build the publisher signed as this program, newer than this one, is handed
    // over.
    const QString baseUrl = skipSelfUpdate ? UpdateBaseUrlFor(modMain::UpdateServerHost) : UpdateBaseUrl;
    if (const std::optional<Refusal> refused = modAutoUpdateV1_Download::VerifyPublished(
            newPath, baseUrl + exeFileName, ownVersionText(), services.waitWindow)) {
        QFile::remove(newPath);
        showError(services, modAutoUpdateV1_Download::SignatureRefusedText(newBuild, *refused));
        return false;
    }

    // The replacer is otherwise fetched only with an outdated checker: after one skipped or lost download, or with a
    // damaged one (empty, an error page, no run permission), every later start would stop here. It is fetched once
    // more; only when that fails does the person have to act.
    const QString replacerName = QString::fromUtf16(ReplacerName);
    const QString replacer = services.app.filePath(replacerName);
    const auto handOver = [&] {
        if (modAutoUpdateV1_Download::CheckInstalled(replacer) ||
            !platform::startDetached(replacer, {exeFileName + u';' + newBuild}, services.app.dir,
                                     platform::WindowShow::Minimized))
            return false;
        qCInfo(platform::lcUpdate).noquote() << "handed over to" << replacer << "to put" << newBuild << "in place";
        services.processExit->exitNow(0);
        return true;
    };
    const auto fetchReplacer = [&] {
        return modAutoUpdateV1_Download::FetchFile(baseUrl + replacerName, replacer, services.waitWindow,
                                                   modAutoUpdateV1_Download::VersionRule::NotOlder);
    };
    std::optional<modAutoUpdateV1_Download::Fetched> fetched;
    if (!modUniCode::FileExists(replacer))
        fetched = fetchReplacer();
    if (modUniCode::FileExists(replacer) && handOver())
        return false;
    if (!fetched) {
        fetched = fetchReplacer();
        if (fetched->saved && handOver())
            return false;
    }
    // The person chose not to wait for it: this build goes on, and the next start tries again.
    if (fetched->skipped)
        return false;

    QString text = (modUniCode::FileExists(replacer) ? QStringLiteral("파일교체 프로그램을 실행할 수 없습니다.")
                                                     : QStringLiteral("파일교체 프로그램을 찾을 수 없습니다.")) +
                   QStringLiteral("\r\n\r\n") + QDir::toNativeSeparators(replacer);
    if (fetched->refused)
        text += QStringLiteral("\r\n\r\n") +
                modAutoUpdateV1_Download::SignatureRefusedText(replacerName, *fetched->refused);
    services.messageBox->show(text);
    if (services.fileManager)
        services.fileManager->openFolder(services.app.dir);
    services.processExit->exitNow(0);
    return false;
}

} // namespace modAutoUpdateV1_Launcher
