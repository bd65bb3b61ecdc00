#include "HttpTransfer.h"

#include "RawFile.h"
#include "SystemProxy.h"
#include "TransferLog.h"

#include <QFile>
#include <QUrl>

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>

namespace support::http {

namespace {

using platform::VbError;

std::atomic<long> g_connectSeconds{Timeouts{}.connectSeconds};
std::atomic<long> g_stallSeconds{Timeouts{}.stallSeconds};
std::atomic<long> g_proxyAnswerSeconds{Timeouts{}.proxyAnswerSeconds};
std::atomic<long> g_textAnswerSeconds{Timeouts{}.textAnswerSeconds};

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isSuccessStatus(long status)
{
    return status >= 200 && status < 300;
}

bool isRedirect(long status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where the write callback puts the body, and why it stopped early.
struct Sink
{
    CURL* curl = nullptr;
    /** The hop's own address, against which a relative Location is resolved. */
    QByteArray url;
    /** The Location of the hop's answer, as sent. */
    QByteArray location;
    /** Where a redirect points (absolute), once its headers have ended. */
    QByteArray redirect;
    QByteArray* memory = nullptr;
    platform::RawFile* file = nullptr;
    qint64 maxBytes = -1;
    qint64 enoughBytes = -1;
    qint64 received = 0;
    bool badStatus = false;
    bool tooLarge = false;
    bool enough = false;
    bool writeFailed = false;
};

size_t writeBody(char* data, size_t size, size_t count, void* userData)
{
    auto* sink = static_cast<Sink*>(userData);
    const qint64 length = qint64(size * count);

    // An error page is never kept: stop at its first byte (a redirect's page never gets here).
    long status = 0;
    curl_easy_getinfo(sink->curl, CURLINFO_RESPONSE_CODE, &status);
    if (!isSuccessStatus(status)) {
        sink->badStatus = true;
        return 0;
    }

    qint64 take = length;
    if (sink->enoughBytes >= 0 && sink->received + take >= sink->enoughBytes) {
        take = sink->enoughBytes - sink->received;
        sink->enough = true;
    }
    if (sink->maxBytes >= 0 && sink->received + take > sink->maxBytes) {
        sink->tooLarge = true;
        return 0;
    }
    if (sink->memory)
        sink->memory->append(data, take);
    if (sink->file && !sink->file->writeAll(data, take)) {
        sink->writeFailed = true;
        return 0;
    }
    sink->received += take;
    // Returning less than offered ends the transfer; that is how "enough" stops reading.
    return sink->enough ? 0 : size_t(length);
}

// A redirect ends with its headers: where it points is known then, and its page, which may never end, is not
// wanted. libcurl tells a redirect's address only after a page read to its end, so the Location is taken here.
size_t readHeader(char* data, size_t size, size_t count, void* userData)
{
    auto* sink = static_cast<Sink*>(userData);
    const QByteArray line = QByteArray(data, qsizetype(size * count)).trimmed();
    if (line.startsWith("HTTP/")) {
        sink->location.clear();
    } else if (line.size() > 9 && line.first(9).compare("Location:", Qt::CaseInsensitive) == 0) {
        if (sink->location.isEmpty())
            sink->location = line.sliced(9).trimmed();
    } else if (line.isEmpty() && !sink->location.isEmpty()) {
        long status = 0;
        curl_easy_getinfo(sink->curl, CURLINFO_RESPONSE_CODE, &status);
        if (isRedirect(status)) {
            const QUrl target =
                QUrl::fromEncoded(sink->url).resolved(QUrl(QString::fromUtf8(sink->location), QUrl::TolerantMode));
            sink->redirect = target.toEncoded();
            return 0;
        }
    }
    return size * count;
}

bool looksLikeProgram(const QByteArray& head)
{
    return head.startsWith("MZ") ||
           head.startsWith("\x7f"
                           "ELF") ||
           head.startsWith("#!");
}

// Owns a transfer handle: cleaned up on every path.
struct CurlHandle final
{
    CurlHandle() : curl(curl_easy_init()) {}
    ~CurlHandle()
    {
        if (curl)
            curl_easy_cleanup(curl);
    }
    CurlHandle(const CurlHandle&) = delete;
    CurlHandle& operator=(const CurlHandle&) = delete;
    CURL* curl;
};

// Hands libcurl one of the system's routes. Either way it is explicit, so that libcurl's own reading of
// http_proxy and no_proxy cannot overrule the system.
void useRoute(CURL* curl, const ProxyChoice& proxy)
{
    curl_easy_setopt(curl, CURLOPT_PROXY, proxy.url.constData());
    if (proxy.url.isEmpty())
        return;
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "");
    switch (proxy.auth) {
    case ProxyAuth::None: break;
    case ProxyAuth::SignedInUser:
        // No name and no password: the system's own credentials (SSPI on Windows, a Kerberos ticket elsewhere).
        curl_easy_setopt(curl, CURLOPT_PROXYAUTH, CURLAUTH_NEGOTIATE | CURLAUTH_NTLM);
        curl_easy_setopt(curl, CURLOPT_PROXYUSERPWD, ":");
        break;
    case ProxyAuth::Given:
        curl_easy_setopt(curl, CURLOPT_PROXYAUTH, CURLAUTH_ANY);
        curl_easy_setopt(curl, CURLOPT_PROXYUSERNAME, proxy.user.constData());
        curl_easy_setopt(curl, CURLOPT_PROXYPASSWORD, proxy.password.constData());
        break;
    }
}

// Owns a transfer's run in a multi handle, so that the run can be watched between short polls.
struct CurlMulti final
{
    explicit CurlMulti(CURL* easyHandle) : easy(easyHandle), multi(curl_multi_init())
    {
        if (multi && curl_multi_add_handle(multi, easy) != CURLM_OK) {
            curl_multi_cleanup(multi);
            multi = nullptr;
        }
    }
    ~CurlMulti()
    {
        if (multi) {
            curl_multi_remove_handle(multi, easy);
            curl_multi_cleanup(multi);
        }
    }
    CurlMulti(const CurlMulti&) = delete;
    CurlMulti& operator=(const CurlMulti&) = delete;
    CURL* easy;
    CURLM* multi;
};

using Clock = std::chrono::steady_clock;

// How long, once connected, the route's proxy and the server may take to start their answers (0: no limit).
struct AnswerLimits final
{
    std::chrono::seconds proxy{0};
    std::chrono::seconds server{0};
};

// Whose answer is overdue: the clock starts when the connection (to the proxy, or to the server) is made.
enum class Silence { None, Proxy, Server };

Silence overdue(CURL* curl, const AnswerLimits& limits, std::optional<Clock::time_point>& connectedAt)
{
    if (limits.proxy.count() == 0 && limits.server.count() == 0)
        return Silence::None;
    if (!connectedAt) {
        curl_off_t connected = 0;
        curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME_T, &connected);
        if (connected > 0)
            connectedAt = Clock::now();
        return Silence::None;
    }
    long status = 0;
    long proxyStatus = 0; // the proxy's answer to a tunnel (https)
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &proxyStatus);
    const Clock::duration waited = Clock::now() - *connectedAt;
    if (limits.proxy.count() > 0 && status == 0 && proxyStatus == 0 && waited >= limits.proxy)
        return Silence::Proxy;
    if (limits.server.count() > 0 && status == 0 && waited >= limits.server)
        return Silence::Server;
    return Silence::None;
}

// curl_easy_perform, but watching cancel (waiting for an answer, libcurl calls its progress callback only once a
// second, too seldom for a person who chose to skip) and the limits on the wait for an answer.
CURLcode performUnlessCancelled(CURL* curl, const std::atomic<bool>* cancel, const AnswerLimits& limits,
                                Silence& silence)
{
    const CurlMulti run(curl);
    if (!run.multi)
        return CURLE_OUT_OF_MEMORY;
    std::optional<Clock::time_point> connectedAt;
    for (int running = 1; running;) {
        if (cancel && cancel->load())
            return CURLE_ABORTED_BY_CALLBACK;
        if (curl_multi_perform(run.multi, &running) != CURLM_OK ||
            (running && curl_multi_poll(run.multi, nullptr, 0, 100, nullptr) != CURLM_OK))
            return CURLE_RECV_ERROR;
        silence = running ? overdue(curl, limits, connectedAt) : Silence::None;
        if (silence != Silence::None)
            return CURLE_OPERATION_TIMEDOUT;
    }
    int queued = 0;
    const CURLMsg* done = curl_multi_info_read(run.multi, &queued);
    return done && done->msg == CURLMSG_DONE ? done->data.result : CURLE_RECV_ERROR;
}

VbError transferError(long number, const QString& description)
{
    return VbError(int(number), description, QStringLiteral("http"));
}

// How one request ended: a whole 2xx answer, an address to go on to, or a failure.
struct Hop final
{
    Hop(platform::Result<long> result = 0L, QByteArray location = {})
        : status(std::move(result)), redirect(std::move(location))
    {
    }
    platform::Result<long> status;
    /** Where a redirect points (absolute); empty when there is none. */
    QByteArray redirect;
    /** Nothing came back over the route (not reached, reset, closed or silent): the next route may do better. */
    bool routeFailed = false;
    /** ... because a limit on the wait ran out. */
    bool waitedOut = false;
    /** The route's proxy answered. */
    bool proxyAnswered = false;
};

// Failures that leave it open whether another route would have reached the server.
bool nothingCameBack(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING: return true;
    default: return false;
    }
}

// What one request's end means: a whole answer, a redirect, or why it failed.
Hop outcome(CURL* curl, CURLcode code, const Sink& sink, const GetOptions& options, const char* errorBuffer)
{
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (!sink.redirect.isEmpty())
        return {status, sink.redirect};
    const QString badStatus = QStringLiteral("HTTP status ") + QString::number(status);
    if (sink.enough || code == CURLE_OK)
        return {isSuccessStatus(status) ? Result<long>(status) : transferError(status, badStatus)};
    if (sink.badStatus)
        return {transferError(status, badStatus)};
    if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED)
        return {transferError(AnswerTooLong, QStringLiteral("answer longer than ") + QString::number(options.maxBytes) +
                                                 QStringLiteral(" bytes"))};
    if (sink.writeFailed)
        return {transferError(code, QStringLiteral("cannot write the downloaded file"))};
    return {transferError(code, QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code)))};
}

// One request of url over one route, into sink; redirects are the caller's (each hop is routed anew).
Hop request(const QByteArray& url, const ProxyChoice& route, const GetOptions& options, Sink& sink)
{
    const CurlHandle handle;
    CURL* const curl = handle.curl;
    if (!curl)
        return {transferError(CURLE_FAILED_INIT, QStringLiteral("cannot create a transfer"))};
    sink.curl = curl;
    sink.url = url;
    sink.location.clear();
    sink.redirect.clear();
    sink.badStatus = false;

    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    useRoute(curl, route);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
    // A skipped transfer must not wait for a name lookup that hangs: its thread is left to end by itself.
    curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
#endif
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, g_connectSeconds.load());
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, g_stallSeconds.load());
    if (!options.userAgent.isEmpty())
        curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &readHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &sink);
    // An answer that announces more than the cap is refused before its first byte.
    if (options.maxBytes >= 0)
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, curl_off_t(options.maxBytes));

    const bool viaProxy = !route.url.isEmpty();
    AnswerLimits limits;
    if (viaProxy)
        limits.proxy = std::chrono::seconds(g_proxyAnswerSeconds.load());
    if (options.smallText)
        limits.server = std::chrono::seconds(g_textAnswerSeconds.load());
    Silence silence = Silence::None;
    const CURLcode code = performUnlessCancelled(curl, options.cancel, limits, silence);
    Hop hop = outcome(curl, code, sink, options, errorBuffer);
    if (silence != Silence::None)
        hop.status = transferError(
            code, (silence == Silence::Proxy ? QStringLiteral("the proxy gave no answer within ")
                                             : QStringLiteral("no answer within ")) +
                      QString::number((silence == Silence::Proxy ? limits.proxy : limits.server).count()) +
                      QStringLiteral(" s"));
    long status = 0;
    long proxyStatus = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &proxyStatus);
    hop.proxyAnswered = viaProxy && (status != 0 || proxyStatus != 0);
    // A GET that got nothing back may be sent again over the next route.
    hop.routeFailed = !hop.status && status == 0 && proxyStatus == 0 && sink.received == 0 && nothingCameBack(code);
    hop.waitedOut = hop.routeFailed && code == CURLE_OPERATION_TIMEDOUT;
    return hop;
}

static_assert(AnswerTooLong == CURLE_FILESIZE_EXCEEDED);

constexpr int MaxRedirects = 3;

// Servers that gave no answer within the limits in this run, and the failure they gave. Never destroyed, like the
// proxy questions: a transfer on another thread may use it while the process ends.
struct SilentServers final
{
    std::mutex mutex;
    QHash<QByteArray, VbError> failures;
};

SilentServers& silentServers()
{
    static auto* const servers = new SilentServers;
    return *servers;
}

QByteArray serverOf(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme.toUtf8() + "://" + url.host(QUrl::FullyEncoded).toLower().toUtf8() + ':' +
           QByteArray::number(url.port(scheme == u"https" ? 443 : 80));
}

// GETs url into sink: each hop over the routes the system names for that hop's own address, the next route when
// nothing came back over one; a proxy that could not be reached lately is tried after the others. The status of a
// whole 2xx answer, or why there is none.
Result<long> perform(const QString& url, const GetOptions& options, Sink& sink)
{
    QByteArray address = encodeUrl(url);
    if (address.isEmpty())
        return transferError(CURLE_UNSUPPORTED_PROTOCOL, QStringLiteral("not an http or https address: ") + url);
    initCurlOnce();
    sink.maxBytes = options.maxBytes;
    sink.enoughBytes = options.enoughBytes;

    for (int redirects = 0;; ++redirects) {
        const QUrl hopUrl = QUrl::fromEncoded(address);
        const QByteArray server = serverOf(hopUrl);
        {
            SilentServers& silent = silentServers();
            const std::lock_guard lock(silent.mutex);
            if (const auto failure = silent.failures.constFind(server); failure != silent.failures.cend()) {
                logRoute(QString::fromUtf8(address), {}, *failure, RouteOutcome::NotAskedAgain);
                return *failure;
            }
        }
        const std::optional<QList<ProxyChoice>> routes = systemProxyRoutes(hopUrl, options.cancel);
        if (!routes)
            return transferError(CURLE_ABORTED_BY_CALLBACK, QStringLiteral("skipped"));
        UnreachableProxies& unreachable = unreachableProxies();
        Hop hop;
        bool waitedOut = false;
        for (const ProxyChoice& route : unreachable.ordered(*routes, UnreachableProxies::Clock::now())) {
            hop = request(address, route, options, sink);
            logRoute(QString::fromUtf8(address), route.url, hop.status.error(),
                     hop.routeFailed ? RouteOutcome::PassedOver : RouteOutcome::Taken);
            waitedOut = waitedOut || hop.waitedOut;
            if (hop.proxyAnswered)
                unreachable.forget(route.url);
            else if (hop.routeFailed && !route.url.isEmpty())
                unreachable.remember(route.url, UnreachableProxies::Clock::now());
            if (!hop.routeFailed)
                break;
        }
        // Nothing came back over any route, and the wait for it ran out: not waited for again in this run.
        if (hop.routeFailed && waitedOut) {
            SilentServers& silent = silentServers();
            const std::lock_guard lock(silent.mutex);
            silent.failures.insert(server, hop.status.error());
        }
        if (!hop.status || hop.redirect.isEmpty())
            return hop.status;
        if (redirects == MaxRedirects)
            return transferError(CURLE_TOO_MANY_REDIRECTS, QStringLiteral("more than 3 redirects"));
        address = encodeUrl(QString::fromUtf8(hop.redirect));
        if (address.isEmpty())
            return transferError(CURLE_UNSUPPORTED_PROTOCOL,
                                 QStringLiteral("redirected to other than http or https: ") +
                                     QString::fromUtf8(hop.redirect));
    }
}

} // namespace

void setTimeouts(const Timeouts& timeouts)
{
    g_connectSeconds = timeouts.connectSeconds;
    g_stallSeconds = timeouts.stallSeconds;
    g_proxyAnswerSeconds = timeouts.proxyAnswerSeconds;
    g_textAnswerSeconds = timeouts.textAnswerSeconds;
}

Timeouts timeouts()
{
    return {g_connectSeconds.load(), g_stallSeconds.load(), g_proxyAnswerSeconds.load(), g_textAnswerSeconds.load()};
}

void forgetSilentServers()
{
    SilentServers& silent = silentServers();
    const std::lock_guard lock(silent.mutex);
    silent.failures.clear();
}

QByteArray encodeUrl(const QString& url)
{
    const QUrl parsed(url, QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.host().isEmpty())
        return {};
    const QString scheme = parsed.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return {};
    return parsed.toEncoded();
}

Result<Response> get(const QString& url, const GetOptions& options)
{
    QElapsedTimer clock;
    clock.start();
    QByteArray body;
    Sink sink;
    sink.memory = &body;
    const Result<long> status = perform(url, options, sink);
    logTransfer("GET", url, status.error(), status.valueOr(0), sink.received, clock);
    if (!status)
        return status.error();
    return Response{*status, std::move(body)};
}

Result<void> download(const QString& url, const QString& path, const GetOptions& options)
{
    QElapsedTimer clock;
    clock.start();
    // A file of a new name beside path (never one that was there, nor where a link points), renamed over path.
    platform::RawFile file;
    const Result<QString> made = file.createNew(path + u'.', QStringLiteral(".part"));
    if (!made)
        return transferError(CURLE_WRITE_ERROR, QStringLiteral("cannot create a file beside ") + path +
                                                    QStringLiteral(": ") + made.error().description());
    const QString received = *made;
    Sink sink;
    sink.file = &file;
    Result<long> status = perform(url, options, sink);
    const bool closed = file.close().ok();
    if (status && !closed)
        status = transferError(CURLE_WRITE_ERROR, QStringLiteral("cannot write the downloaded file"));
    else if (status && sink.received == 0)
        status = transferError(CURLE_GOT_NOTHING, QStringLiteral("empty answer"));
    else if (status && options.acceptFile && !options.acceptFile(received))
        status = transferError(CURLE_WRITE_ERROR,
                               QStringLiteral("the answer is not what was asked for (cut short, or an error page)"));

    QFile saved(received);
    const bool program = status && saved.open(QIODevice::ReadOnly) && looksLikeProgram(saved.read(4));
    saved.close(); // Windows renames no file that is open
    if (program) {
        QFileDevice::Permissions permissions =
            QFile::permissions(received) | QFileDevice::ExeOwner | QFileDevice::ExeUser;
        if (permissions & QFileDevice::ReadGroup)
            permissions |= QFileDevice::ExeGroup;
        if (permissions & QFileDevice::ReadOther)
            permissions |= QFileDevice::ExeOther;
        QFile::setPermissions(received, permissions);
    }
    if (status) {
        if (const Result<void> replaced = platform::RawFile::replaceName(received, path); !replaced)
            status = transferError(CURLE_WRITE_ERROR, QStringLiteral("cannot replace ") + path + QStringLiteral(": ") +
                                                          replaced.error().description());
    }
    logTransfer("download", url, status.error(), status.valueOr(0), sink.received, clock);
    if (!status) {
        QFile::remove(received); // ours, made above
        return status.error();
    }
    return {};
}

} // namespace support::http
