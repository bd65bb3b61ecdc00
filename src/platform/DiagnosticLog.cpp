#include "DiagnosticLog.h"

#include "LogCategories.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QMutex>

#include <cstring>

namespace platform {

namespace {

// The one log of the process: the handler is process-wide, and messages come from any thread.
struct LogFile final
{
    QMutex mutex;
    QFile file;
    QString folder;
    DiagnosticLogLimits limits;
    qint64 size = 0;
    bool writing = false;
    QtMessageHandler previous = nullptr;
};

LogFile& logFile()
{
    static LogFile log;
    return log;
}

// A message written while the handler writes (the file's own warnings) must not come back to it.
thread_local bool t_writing = false;

QString pathOf(const LogFile& log, int index)
{
    const QString name = QString::fromUtf16(DiagnosticLogFileName);
    if (index == 0)
        return log.folder + u'/' + name;
    return log.folder + u'/' + name.chopped(4) + u'.' + QString::number(index) + QStringLiteral(".log");
}

bool openCurrent(LogFile& log)
{
    const QString path = pathOf(log, 0);
    const QFileInfo existing(path);
    // Only a file of its own: never through a link, never into a folder or a device.
    if (existing.isSymLink() || (existing.exists() && !existing.isFile()))
        return false;
    log.file.setFileName(path);
    if (!log.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered,
                       QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    restrictToOwner(path);
    log.size = log.file.size();
    return true;
}

// The current file becomes backup 1, each backup the next, the last is removed; then a new current file.
bool rotate(LogFile& log)
{
    log.file.close();
    const int last = std::max(log.limits.files - 1, 0);
    if (QFile::exists(pathOf(log, last)) && !QFile::remove(pathOf(log, last)))
        return false;
    for (int i = last - 1; i >= 0; --i) {
        if (QFile::exists(pathOf(log, i)) && !QFile::rename(pathOf(log, i), pathOf(log, i + 1)))
            return false;
    }
    return openCurrent(log);
}

// Called with the mutex held.
void stop(LogFile& log)
{
    log.file.close();
    log.writing = false;
}

void append(const QByteArray& line)
{
    LogFile& log = logFile();
    const QMutexLocker lock(&log.mutex);
    if (!log.writing)
        return;
    if (log.size > 0 && log.size + line.size() > log.limits.fileBytes && !rotate(log)) {
        stop(log);
        return;
    }
    // Unbuffered: the line is the system's once written, before the call that logged it goes on.
    if (log.file.write(line) != line.size()) {
        stop(log);
        return;
    }
    log.size += line.size();
}

QLatin1StringView levelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return QLatin1StringView("DEBUG");
    case QtInfoMsg: return QLatin1StringView("INFO ");
    case QtWarningMsg: return QLatin1StringView("WARN ");
    case QtCriticalMsg: return QLatin1StringView("ERROR");
    case QtFatalMsg: return QLatin1StringView("FATAL");
    }
    return QLatin1StringView("?    ");
}

QByteArray formatLine(QtMsgType type, const char* category, const QString& text)
{
    const QDateTime now = QDateTime::currentDateTime();
    const char* area = category ? category : "default";
    if (std::strncmp(area, "zt.", 3) == 0)
        area += 3;
    QString oneLine = text;
    oneLine.replace(QStringLiteral("\r\n"), QStringLiteral(" | "));
    oneLine.replace(u'\n', QStringLiteral(" | "));
    oneLine.replace(u'\r', QStringLiteral(" | "));
    return (now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs) + u' ' + levelName(type) + u' ' +
            QLatin1StringView(area) + u' ' + oneLine + u'\n')
        .toUtf8();
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    const bool ours = context.category && std::strncmp(context.category, "zt.", 3) == 0;
    // Qt's own debugging chatter is not for support; its warnings are.
    if (!t_writing && (ours || type != QtDebugMsg)) {
        t_writing = true;
        append(formatLine(type, context.category, text));
        t_writing = false;
    }
    // Qt's own messages still go where they always went; a fatal one still ends the program there.
    if (!ours || type == QtFatalMsg) {
        if (QtMessageHandler previous = logFile().previous)
            previous(type, context, text);
    }
}

const QString AreasOn = QStringLiteral("zt.*.info=true\nzt.*.warning=true\nzt.*.critical=true");

} // namespace

bool diagnosticLogWanted(PolicySwitch machinePolicy, const QString& userValue)
{
    switch (machinePolicy) {
    case PolicySwitch::On: return true;
    case PolicySwitch::Off: return false;
    case PolicySwitch::NotSet: break;
    }
    return userValue.trimmed() == u"1";
}

QString policySwitchText(PolicySwitch value)
{
    switch (value) {
    case PolicySwitch::On: return QStringLiteral("1");
    case PolicySwitch::Off: return QStringLiteral("0");
    case PolicySwitch::NotSet: break;
    }
    return QStringLiteral("not set");
}

QString withoutQuotedText(const QString& text)
{
    // Up to the first quote only: a statement cut short may hold more quotes than its closing one, or none.
    qsizetype first = text.indexOf(u'\'');
    const qsizetype doubleQuote = text.indexOf(u'"');
    if (first < 0 || (doubleQuote >= 0 && doubleQuote < first))
        first = doubleQuote;
    if (first < 0)
        return text;
    return text.left(first + 1) + QStringLiteral("…") + text.at(first);
}

DiagnosticLog::DiagnosticLog(bool on, const QString& folder, DiagnosticLogLimits limits) : m_on(on)
{
    if (!m_on)
        return;
    LogFile& log = logFile();
    {
        const QMutexLocker lock(&log.mutex);
        log.folder = folder;
        log.limits = limits;
        log.writing = makeOwnerOnlyFolder(folder) && openCurrent(log);
        if (log.writing && log.size >= limits.fileBytes)
            log.writing = rotate(log);
        // Nowhere to write: the run goes on as if the log were off.
        m_on = log.writing;
        if (!m_on) {
            log.file.close();
            return;
        }
    }
    log.previous = qInstallMessageHandler(handleMessage);
    QLoggingCategory::setFilterRules(AreasOn);
}

DiagnosticLog::~DiagnosticLog()
{
    if (!m_on)
        return;
    qCInfo(lcStart) << "the run ends";
    QLoggingCategory::setFilterRules(QString());
    LogFile& log = logFile();
    qInstallMessageHandler(log.previous);
    const QMutexLocker lock(&log.mutex);
    stop(log);
}

bool DiagnosticLog::isWriting() const
{
    LogFile& log = logFile();
    const QMutexLocker lock(&log.mutex);
    return m_on && log.writing;
}

} // namespace platform
