// startup-log-bench [ROUNDS=15]: what the diagnostic log adds to a start. Runs the real program ROUNDS times with
// the log off and ROUNDS times on, alternating, from a program folder of its own against a server list and an
// update folder served on 127.0.0.1 (the version checker finds nothing newer) and a database port that refuses:
// each start goes through the server list, the update launcher and the login dialog's connection, and ends at the
// connection-failure message, which the program's own recorder answers. Prints the medians and minimums of the
// whole start, the lines and bytes one start logs, and that log work measured in this process alone.
#include "AppInfo.h"
#include "DiagnosticLog.h"
#include "HttpTestServer.h"
#include "LogCategories.h"
#include "RecordingServices.h"
#include "SettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One whole start, in milliseconds; negative when it did not end by itself.
double timeStart(const QString& program, const QProcessEnvironment& env)
{
    QProcess run;
    run.setProcessEnvironment(env);
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    QElapsedTimer clock;
    clock.start();
    run.start(program, {});
    if (!run.waitForFinished(60000) || run.exitCode() != 0)
        return -1;
    return double(clock.nsecsElapsed()) / 1e6;
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
    std::vector<double> off, on;
    setLog(true);
    timeStart(program, env); // a warm-up, which also caches the server list as every later start finds it
    const QString logFile = state + QStringLiteral("/norvaquillet/NorvaQuillet.log");
    QFile::remove(logFile);
    for (int i = 0; i < rounds; ++i) {
        for (const bool withLog : {false, true}) {
            setLog(withLog);
            const double ms = timeStart(program, env);
            if (ms < 0) {
                std::fprintf(stderr, "a start did not end by itself with exit code 0\n");
                return 1;
            }
            (withLog ? on : off).push_back(ms);
        }
    }
    QFile written(logFile);
    written.open(QIODevice::ReadOnly);
    const QByteArray text = written.readAll();
    const qsizetype lines = text.count('\n') / rounds;
    const qsizetype bytes = text.size() / rounds;

    // The same number of lines of the same length, logged in this process: the log's own work in one start.
    std::vector<double> work;
    for (int i = 0; i < rounds; ++i) {
        QTemporaryDir folder;
        QElapsedTimer clock;
        clock.start();
        {
            const platform::DiagnosticLog log(true, folder.path());
            const QByteArray line(std::max<qsizetype>(bytes / std::max<qsizetype>(lines, 1) - 40, 1), 'x');
            for (qsizetype n = 0; n < lines; ++n)
                qCInfo(platform::lcStart, "%s", line.constData());
        }
        work.push_back(double(clock.nsecsElapsed()) / 1e6);
    }

    std::printf("whole start, %d rounds each: log off median %.1f ms (min %.1f), log on median %.1f ms (min %.1f): "
                "%+.2f %%\n",
                rounds, median(off), *std::min_element(off.begin(), off.end()), median(on),
                *std::min_element(on.begin(), on.end()), (median(on) / median(off) - 1) * 100);
    std::printf("one start logs %lld lines, %lld bytes; writing them (opening the file included) takes %.3f ms "
                "in this process: %.3f %% of the median start\n",
                static_cast<long long>(lines), static_cast<long long>(bytes), median(work),
                median(work) / median(off) * 100);
    return 0;
}
