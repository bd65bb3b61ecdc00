// startup-log-bench [ROUNDS=15]: what the diagnostic log adds to a start. Runs the real program ROUNDS times with
// the log off and ROUNDS times on, alternating, from a program folder of its own against a server list and an
// update folder served on 127.0.0.1 (the version checker finds nothing newer) and a database port that refuses:
// each start goes through the server list, the update launcher and the login dialog's connection, and ends at the
// connection-failure message, which the program's own recorder answers. Prints, for the whole start, the medians
// with the log off and on and the median of the differences within each pair of starts, in wall time and in the
// processor time of the program and the checker it waits for; then the log's own work in one start (the start
// record, as many lines as a start logged, the end), done ROUNDS times in this process.
#include "AppInfo.h"
#include "DiagnosticLog.h"
#include "HttpTestServer.h"
#include "LogCategories.h"
#include "RealStartup.h"
#include "RecordingServices.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Start
{
    double wallMs = -1; // negative: it did not end by itself with exit code 0
    double cpuMs = 0;   // user and system time of the program and the children it waited for
};

double cpuMsOfChildren()
{
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return (double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e6 + double(usage.ru_utime.tv_usec) +
            double(usage.ru_stime.tv_usec)) /
           1e3;
}

Start timeStart(const QString& program, const QProcessEnvironment& env)
{
    QProcess run;
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    const double cpuBefore = cpuMsOfChildren();
    QElapsedTimer clock;
    clock.start();
    run.start(program, {});
    if (!run.waitForFinished(60000) || run.exitCode() != 0)
        return {};
    return {double(clock.nsecsElapsed()) / 1e6, cpuMsOfChildren() - cpuBefore};
}

void report(const char* what, const std::vector<double>& off, const std::vector<double>& on)
{
    std::vector<double> differences;
    for (std::size_t i = 0; i < off.size(); ++i)
        differences.push_back(on[i] - off[i]);
    std::printf("%s: log off median %.1f ms, on %.1f ms; the difference within a pair, median %+.2f ms (%+.2f %%)\n",
                what, median(off), median(on), median(differences), median(differences) / median(off) * 100);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
    QTemporaryDir root;
    const QString appDir = root.filePath(QStringLiteral("app"));
    const QString config = root.filePath(QStringLiteral("config"));
    const QString state = root.filePath(QStringLiteral("state"));
    QDir().mkpath(appDir);
    const QString program = appDir + QStringLiteral("/NorvaQuillet");
    if (!QFile::copy(QStringLiteral(ZT_PROGRAM_PATH), program) ||
        !QFile::copy(QStringLiteral(ZT_CHECKER_PATH), appDir + QStringLiteral("/RendloV1.exe"))) {
        std::fprintf(stderr, "cannot copy the program and the version checker into %s\n", qPrintable(appDir));
        return 1;
    }

    const QString updates = QStringLiteral("/download/자동업데이트_v1/");
    const QByteArray revision = QByteArray::number(platform::ownVersion().revision);
    testsupport::HttpTestServer http;
    http.putFile(updates + QStringLiteral("RendloV1_lastver.txt"), revision);
    http.putFile(updates + QStringLiteral("NorvaQuillet_lastver.txt"), revision);
    http.putFile(
        QStringLiteral("/serverinfo/server-address-checker.php"),
        "{\"success\": true, \"data\": {\"ver\": \"1\",\"servers\": [{\"name\": \"자동업데이트_런처\",\"host\": \"" +
            http.host().toUtf8() + "\"},{\"name\": \"사내메신저DB서버\",\"host\": \"127.0.0.1:" +
            QByteArray::number(testsupport::closedPort()) + "\"}]}}");

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("XDG_STATE_HOME"), state);
    env.insert(QStringLiteral("ZT_UI_RECORD"), root.filePath(QStringLiteral("shown.jsonl")));
    env.insert(QStringLiteral("ZT_SERVER_LIST_URL"), http.url());
    env.insert(QStringLiteral("ZT_DEFAULT_SERVER"), QStringLiteral("127.0.0.1:1"));
    env.insert(QStringLiteral("no_proxy"), QStringLiteral("127.0.0.1"));

    platform::SettingsStore settings(config + QStringLiteral("/NorvaQuillet"));
    const auto setLog = [&](bool on) {
        settings.write(QStringLiteral("NorvaQuillet"), QStringLiteral("Config"), QStringLiteral("DiagnosticLog"),
                       on ? QStringLiteral("1") : QStringLiteral("0"));
    };
    std::vector<double> wallOff, wallOn, cpuOff, cpuOn;
    setLog(true);
    timeStart(program, env); // a warm-up, which also caches the server list as every later start finds it
    const QString logFile = state + QStringLiteral("/norvaquillet/NorvaQuillet.log");
    QFile::remove(logFile);
    for (int i = 0; i < rounds; ++i) {
        for (const bool withLog : {false, true}) {
            setLog(withLog);
            const Start start = timeStart(program, env);
            if (start.wallMs < 0) {
                std::fprintf(stderr, "a start did not end by itself with exit code 0\n");
                return 1;
            }
            (withLog ? wallOn : wallOff).push_back(start.wallMs);
            (withLog ? cpuOn : cpuOff).push_back(start.cpuMs);
        }
    }
    QFile written(logFile);
    written.open(QIODevice::ReadOnly);
    const QByteArray text = written.readAll();
    const qsizetype lines = text.count('\n') / rounds;
    const qsizetype bytes = text.size() / rounds;

    // The log's own work in one start, in this process: the start record, the other lines of a start, the end.
    testsupport::TestServices t;
    t.settings.write(QStringLiteral("NorvaQuillet"), QStringLiteral("Config"), QStringLiteral("DiagnosticLog"),
                     QStringLiteral("1"));
    const QByteArray line(std::max<qsizetype>(bytes / std::max<qsizetype>(lines, 1) - 40, 1), 'x');
    std::vector<double> work;
    for (int i = 0; i < rounds; ++i) {
        QTemporaryDir folder;
        qputenv("XDG_STATE_HOME", QFile::encodeName(folder.path()));
        QElapsedTimer clock;
        clock.start();
        {
            const auto log = modMain::startDiagnosticLog(t.services, platform::PolicySwitch::NotSet);
            for (qsizetype n = 0; n < lines - 7; ++n)
                qCInfo(platform::lcStart, "%s", line.constData());
        }
        work.push_back(double(clock.nsecsElapsed()) / 1e6);
    }

    std::printf("%d starts each way; one start logs %lld lines, %lld bytes\n", rounds, static_cast<long long>(lines),
                static_cast<long long>(bytes));
    report("whole start, wall time", wallOff, wallOn);
    report("whole start, processor time", cpuOff, cpuOn);
    std::printf("the log's own work in one start: %.3f ms, %.3f %% of the median start (wall time, log off)\n",
                median(work), median(work) / median(wallOff) * 100);
    return 0;
}
