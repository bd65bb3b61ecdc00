// transfer-bench SCENARIO: how long the program's HTTP transfers take when the proxies the system names are
// dead or the system's proxy answer is slow. Runs in a loopback-only network of its own whose name server is
// this program (transfer-figures.sh); every server is on 127.0.0.1. Prints one line per figure.
#include "AppInfo.h"
#include "HttpTestServer.h"
#include "HttpTransfer.h"
#include "ProcessExit.h"
#include "SilentPort.h"
#include "SystemProxy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

namespace {

using support::http::GetOptions;

// A name server that never answers: every lookup waits for the resolver's time-out.
class SilentNameServer final
{
public:
    SilentNameServer()
    {
        m_socket = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(53);
        if (::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
            std::perror("name server on 127.0.0.1:53 (run through transfer-figures.sh)"), std::exit(2);
    }
    ~SilentNameServer() { ::close(m_socket); }

private:
    int m_socket = -1;
};

double seconds(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e9;
}

void report(const char* what, const QElapsedTimer& timer, bool ok)
{
    std::printf("%-58s %7.2f s  %s\n", what, seconds(timer), ok ? "ok" : "failed");
    std::fflush(stdout);
}

const QByteArray Body(100 * 1024, 'b');

// An origin server with a file and a chain of two redirects to it, and a proxy that serves the same by
// absolute URL; the system's answer comes from a PAC file naming the given proxies in order, then DIRECT.
struct ProxiedOrigin
{
    testsupport::HttpTestServer origin;
    testsupport::HttpTestServer proxy;

    explicit ProxiedOrigin(const QStringList& pacProxies)
    {
        for (testsupport::HttpTestServer* server : {&origin, &proxy}) {
            const QString prefix = server == &proxy ? origin.url() : QString();
            server->putFile(prefix + QStringLiteral("/file"), Body);
            server->routeRedirect(prefix + QStringLiteral("/r1"), origin.url(QStringLiteral("/r2")));
            server->routeRedirect(prefix + QStringLiteral("/r2"), origin.url(QStringLiteral("/file")));
        }
        QString list;
        for (const QString& host : pacProxies)
            list += QStringLiteral("PROXY ") + (host.isEmpty() ? proxy.host() : host) + QStringLiteral("; ");
        origin.putFile(QStringLiteral("/proxy.pac"),
                       "function FindProxyForURL(url, host) { return \"" + list.toLatin1() + "DIRECT\"; }\n");
        qputenv("http_proxy", (QStringLiteral("pac+") + origin.url(QStringLiteral("/proxy.pac"))).toUtf8());
    }
};

// Transfers in a row through "PROXY a; PROXY b; DIRECT", a dropping; b empty for the working proxy.
int deadProxy(const QStringList& proxies, int transfers, const QString& path)
{
    const ProxiedOrigin net(proxies);
    for (int i = 1; i <= transfers; ++i) {
        QElapsedTimer timer;
        timer.start();
        const auto answer = support::http::get(net.origin.url(path));
        const QByteArray what = "transfer " + QByteArray::number(i) + " of " + path.toUtf8();
        report(what.constData(), timer, answer.ok() && answer->body == Body);
    }
    return 0;
}

// GETs url, skipped after skipMs (never when negative), as the wait window does.
bool getSkippedAfter(const QString& url, int skipMs)
{
    std::atomic<bool> cancel{false};
    std::thread skip([&cancel, skipMs] {
        for (int waited = 0; skipMs >= 0 && waited < skipMs && !cancel; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        cancel = skipMs >= 0;
    });
    GetOptions options;
    options.cancel = &cancel;
    const bool ok = support::http::get(url, options).ok();
    cancel = true;
    skip.join();
    return ok;
}

// Transfers whose proxy question is skipped at once, then one that is waited for.
int skippedQuestions(int skipped)
{
    const SilentNameServer nameServer;
    testsupport::HttpTestServer origin;
    origin.putFile(QStringLiteral("/v.txt"), "7");
    qputenv("http_proxy", "wpad://");
    for (int i = 0; i < skipped; ++i)
        getSkippedAfter(origin.url(QStringLiteral("/v.txt")), 100);
    QElapsedTimer timer;
    timer.start();
    const bool ok = getSkippedAfter(origin.url(QStringLiteral("/v.txt")), -1);
    const QByteArray what = "one transfer after " + QByteArray::number(skipped) + " skipped proxy questions";
    report(what.constData(), timer, ok);
    return 0;
}

// A start on two servers: the server list, skipped after skipMs (negative: waited for), then the version check
// and a download from the update server, waited for; the time until each of the two is done.
int startOnTwoServers(int skipMs)
{
    const SilentNameServer nameServer;
    testsupport::HttpTestServer list;
    testsupport::HttpTestServer updates;
    list.putFile(QStringLiteral("/list"), "{}");
    updates.putFile(QStringLiteral("/v.txt"), "7");
    updates.putFile(QStringLiteral("/tool.exe"), Body);
    qputenv("http_proxy", "wpad://");
    QElapsedTimer timer;
    timer.start();
    getSkippedAfter(list.url(QStringLiteral("/list")), skipMs);
    const QByteArray first = skipMs < 0 ? QByteArray("server list waited for")
                                        : "server list skipped after " + QByteArray::number(skipMs) + " ms";
    bool ok = getSkippedAfter(updates.url(QStringLiteral("/v.txt")), -1);
    report((first + ", version check done").constData(), timer, ok);
    ok = getSkippedAfter(updates.url(QStringLiteral("/tool.exe")), -1);
    report((first + ", download done").constData(), timer, ok);
    return 0;
}

// A 302 whose body never ends, read as the version check reads (20 bytes); given up after a minute.
int endlessRedirect()
{
    testsupport::HttpTestServer origin;
    origin.putFile(QStringLiteral("/v.txt"), "7");
    const QString target = origin.url(QStringLiteral("/v.txt"));
    std::atomic<bool> stop{false};
    origin.route(QStringLiteral("/moved"), [&stop, target](const httplib::Request&, httplib::Response& response) {
        response.status = 302;
        response.set_header("Location", target.toStdString());
        response.set_chunked_content_provider("text/html", [&stop](std::size_t, httplib::DataSink& sink) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            sink.write("moved ", 6);
            return !stop;
        });
    });
    std::atomic<bool> cancel{false};
    std::thread limit([&cancel] {
        for (int i = 0; i < 600 && !cancel; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        cancel = true;
    });
    GetOptions options;
    options.enoughBytes = 20;
    options.cancel = &cancel;
    QElapsedTimer timer;
    timer.start();
    const auto answer = support::http::get(origin.url(QStringLiteral("/moved")), options);
    report("version check through a 302 with an endless body", timer, answer.ok() && answer->body == "7");
    cancel = true;
    stop = true;
    limit.join();
    return 0;
}

// The child of exitDuringQuestion: skips the proxy questions of two transfers, as a start that skips the server
// list and the version check does, says so, and returns from main at once.
int exitChild()
{
    qputenv("http_proxy", "wpad://");
    for (const char* url : {"http://127.0.0.1:1/", "http://127.0.0.1:2/"}) {
        std::atomic<bool> cancel{false};
        std::thread skip([&cancel] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            cancel = true;
        });
        GetOptions options;
        options.cancel = &cancel;
        (void)support::http::get(QString::fromLatin1(url), options);
        skip.join();
    }
    std::printf("returning\n");
    std::fflush(stdout);
    return 0;
}

// How long a program takes to end once main returns while a skipped proxy question still runs, and what it prints.
int exitDuringQuestion(const QString& self, int runs)
{
    const SilentNameServer nameServer;
    for (int i = 1; i <= runs; ++i) {
        QProcess child;
        child.start(self, {QStringLiteral("exit-child")});
        QElapsedTimer timer;
        while (child.state() != QProcess::NotRunning && !child.canReadLine())
            child.waitForReadyRead(50);
        timer.start();
        child.waitForFinished(60000);
        const QByteArray errors = child.readAllStandardError().trimmed();
        const QByteArray what = "exit while a proxy question runs, run " + QByteArray::number(i);
        report(what.constData(), timer, child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0);
        if (!errors.isEmpty())
            std::printf("    stderr: %s\n", errors.constData());
    }
    return 0;
}

// The program from a folder holding it and the version checker (so the start goes through the checker's run) to its
// login dialog, offscreen, with nobody pressing 건너뛰기. "silent-proxy": the system's answer is a PAC file's
// "PROXY silent; PROXY working; DIRECT" and the servers' names resolve nowhere, so only the working proxy reaches
// them; "both-hung": the server-list service and the update server take connections and never answer.
int startToLogin(const QString& mode, const QString& program, const QString& checker)
{
    QTemporaryDir dir;
    const QString record = dir.filePath(QStringLiteral("shown.jsonl"));
    const QString app = dir.filePath(QStringLiteral("app/"));
    if (!QDir().mkpath(app) || !QFile::copy(program, app + QStringLiteral("NorvaQuillet")) ||
        !QFile::copy(checker, app + QStringLiteral("RendloV1.exe")))
        return std::fprintf(stderr, "cannot copy %s and %s\n", qPrintable(program), qPrintable(checker)), 2;
    QTcpServer hungList; // listening is enough: the system takes the connections, nobody answers
    QTcpServer hungUpdates;
    hungList.listen(QHostAddress::LocalHost);
    hungUpdates.listen(QHostAddress::LocalHost);
    QTcpServer silentProxy;
    silentProxy.listen(QHostAddress::LocalHost);
    testsupport::HttpTestServer proxy;
    testsupport::HttpTestServer pac;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy"})
        env.remove(QString::fromLatin1(name)), env.remove(QString::fromLatin1(name).toUpper());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), dir.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    env.insert(QStringLiteral("ZT_UI_RECORD"), record);
    QString list = QStringLiteral("http://127.0.0.1:%1").arg(hungList.serverPort());
    QString updates = QStringLiteral("127.0.0.1:%1").arg(hungUpdates.serverPort());
    if (mode == u"silent-proxy") {
        list = QStringLiteral("http://list.corp.example");
        updates = QStringLiteral("updates.corp.example");
        const QString folder = QStringLiteral("http://updates.corp.example/download/자동업데이트_v1/");
        const QByteArray revision = QByteArray::number(platform::ownVersion().revision);
        proxy.putFile(list + QStringLiteral("/serverinfo/server-address-checker.php"),
                      "{\"success\": true, \"data\": {\"servers\": [{\"name\": \"자동업데이트_런처\", \"host\": \"" +
                          updates.toUtf8() + "\"}, {\"name\": \"사내메신저DB서버\", \"host\": \"127.0.0.1:1\"}]}}");
        proxy.putFile(folder + QStringLiteral("RendloV1_lastver.txt"), revision);
        proxy.putFile(folder + QStringLiteral("NorvaQuillet_lastver.txt"), revision);
        pac.putFile(QStringLiteral("/proxy.pac"), QStringLiteral("function FindProxyForURL(url, host) { return "
                                                                 "\"PROXY 127.0.0.1:%1; PROXY %2; DIRECT\"; }\n")
                                                      .arg(silentProxy.serverPort())
                                                      .arg(proxy.host())
                                                      .toUtf8());
        env.insert(QStringLiteral("http_proxy"), QStringLiteral("pac+") + pac.url(QStringLiteral("/proxy.pac")));
    }
    env.insert(QStringLiteral("ZT_SERVER_LIST_URL"), list);
    env.insert(QStringLiteral("ZT_DEFAULT_SERVER"), updates);

    QProcess started;
    started.setProcessEnvironment(env);
    started.setWorkingDirectory(app);
    QElapsedTimer timer;
    timer.start();
    started.start(app + QStringLiteral("NorvaQuillet"), {});
    QFile shown(record);
    bool login = false;
    while (!login && started.state() != QProcess::NotRunning && timer.elapsed() < 180000) {
        started.waitForFinished(50);
        login = shown.open(QIODevice::ReadOnly) && shown.readAll().contains("\"object\":\"frmLogin\"");
        shown.close();
    }
    const QByteArray what = "start to the login dialog, " + mode.toUtf8();
    report(what.constData(), timer, login);
    started.kill();
    started.waitForFinished();
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString scenario = args.value(1);
    const int count = args.value(2, QStringLiteral("1")).toInt();
    if (scenario == u"exit-child") {
        const int code = exitChild();
        // As the program's main ends.
        if (support::http::systemQuestionRunning())
            platform::ProcessExit().exitNow(code);
        return code;
    }
    if (qEnvironmentVariableIsEmpty("ZT_OWN_NAME_SERVER")) {
        std::fprintf(stderr, "run through bench/transfer-figures.sh (a network and name server of its own)\n");
        return 2;
    }
    // Proxies that drop every connection attempt, as a firewall that drops would.
    const testsupport::SilentPort a;
    const testsupport::SilentPort b;
    const QString hostA = QStringLiteral("127.0.0.1:%1").arg(a.port());
    if (scenario == u"dead-proxy")
        return deadProxy({hostA, QString()}, count, QStringLiteral("/file"));
    if (scenario == u"dead-proxy-redirects")
        return deadProxy({hostA, QString()}, count, QStringLiteral("/r1"));
    if (scenario == u"both-dropping")
        return deadProxy({hostA, QStringLiteral("127.0.0.1:%1").arg(b.port())}, count, QStringLiteral("/file"));
    if (scenario == u"skipped-questions")
        return skippedQuestions(count);
    if (scenario == u"start-two-servers")
        return startOnTwoServers(count);
    if (scenario == u"endless-redirect")
        return endlessRedirect();
    if (scenario == u"exit-during-question")
        return exitDuringQuestion(QCoreApplication::applicationFilePath(), count);
    if (scenario == u"start-to-login")
        return startToLogin(args.value(2), args.value(3), args.value(4));
    std::fprintf(
        stderr,
        "usage: transfer-bench dead-proxy|dead-proxy-redirects|both-dropping|skipped-questions|start-two-servers|"
        "endless-redirect|exit-during-question [COUNT]\n"
        "       transfer-bench start-to-login silent-proxy|both-hung PROGRAM CHECKER\n");
    return 2;
}
