#include "HttpTransfer.h"

#include "SystemProxy.h"

#include <QFile>
#include <QSaveFile>
#include <QUrl>

#include <curl/curl.h>

#include <atomic>
#include <mutex>

namespace support::http {

namespace {

using platform::VbError;

std::atomic<long> g_connectSeconds{Timeouts{}.connectSeconds};
std::atomic<long> g_stallSeconds{Timeouts{}.stallSeconds};

void initCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool isSuccessStatus(long status)
{
    return status >= 200 && status < 300;
}

// Where the write callback puts the body, and why it stopped early.
struct Sink
{
    CURL* curl = nullptr;
    QByteArray* memory = nullptr;
    QSaveFile* file = nullptr;
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

    // An error page is never kept: stop at its first byte.
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
    if (sink->file && sink->file->write(data, take) != take) {
        sink->writeFailed = true;
        return 0;
    }
    sink->received += take;
    // Returning less than offered ends the transfer; that is how "enough" stops reading.
    return sink->enough ? 0 : size_t(length);
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

// Hands libcurl the system's choice for url. Either way it is explicit, so that libcurl's own reading of
// http_proxy and no_proxy cannot overrule the system.
void useSystemProxy(CURL* curl, const QByteArray& url)
{
    const ProxyChoice proxy = systemProxy(QUrl::fromEncoded(url));
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

// curl_easy_perform, but watching cancel: waiting for an answer, libcurl calls its progress callback only once a
// second, too seldom for a person who chose to skip.
CURLcode performUnlessCancelled(CURL* curl, const std::atomic<bool>* cancel)
{
    const CurlMulti run(curl);
    if (!run.multi)
        return CURLE_OUT_OF_MEMORY;
    for (int running = 1; running;) {
        if (cancel && cancel->load())
            return CURLE_ABORTED_BY_CALLBACK;
        if (curl_multi_perform(run.multi, &running) != CURLM_OK ||
            (running && curl_multi_poll(run.multi, nullptr, 0, 100, nullptr) != CURLM_OK))
            return CURLE_RECV_ERROR;
    }
    int queued = 0;
    const CURLMsg* done = curl_multi_info_read(run.multi, &queued);
    return done && done->msg == CURLMSG_DONE ? done->data.result : CURLE_RECV_ERROR;
}

VbError transferError(long number, const QString& description)
{
    return VbError(int(number), description, QStringLiteral("http"));
}

// Runs the transfer into sink; the status of a whole 2xx answer, or why there is none.
Result<long> perform(const QString& url, const GetOptions& options, Sink& sink)
{
    const QByteArray encoded = encodeUrl(url);
    if (encoded.isEmpty())
        return transferError(CURLE_UNSUPPORTED_PROTOCOL, QStringLiteral("not an http or https address: ") + url);

    initCurlOnce();
    const CurlHandle handle;
    CURL* const curl = handle.curl;
    if (!curl)
        return transferError(CURLE_FAILED_INIT, QStringLiteral("cannot create a transfer"));
    sink.curl = curl;
    sink.maxBytes = options.maxBytes;
    sink.enoughBytes = options.enoughBytes;

    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_URL, encoded.constData());
    useSystemProxy(curl, encoded);
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
#if LIBCURL_VERSION_NUM >= 0x075500
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
#else
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS));
    curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS, long(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, g_connectSeconds.load());
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, g_stallSeconds.load());
    if (!options.userAgent.isEmpty())
        curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &writeBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);

    const CURLcode code = performUnlessCancelled(curl, options.cancel);
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);

    const QString badStatus = QStringLiteral("HTTP status ") + QString::number(status);
    if (sink.enough || code == CURLE_OK) {
        if (!isSuccessStatus(status))
            return transferError(status, badStatus);
        return status;
    }
    if (sink.badStatus)
        return transferError(status, badStatus);
    if (sink.tooLarge)
        return transferError(code, QStringLiteral("answer longer than ") + QString::number(options.maxBytes) +
                                       QStringLiteral(" bytes"));
    if (sink.writeFailed)
        return transferError(code, QStringLiteral("cannot write the downloaded file"));
    return transferError(code, QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code)));
}

} // namespace

void setTimeouts(const Timeouts& timeouts)
{
    g_connectSeconds = timeouts.connectSeconds;
    g_stallSeconds = timeouts.stallSeconds;
}

Timeouts timeouts()
{
    return {g_connectSeconds.load(), g_stallSeconds.load()};
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
    QByteArray body;
    Sink sink;
    sink.memory = &body;
    const Result<long> status = perform(url, options, sink);
    if (!status)
        return status.error();
    return Response{*status, std::move(body)};
}

Result<void> download(const QString& url, const QString& path, const GetOptions& options)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return transferError(CURLE_WRITE_ERROR, QStringLiteral("cannot create a file beside ") + path +
                                                    QStringLiteral(": ") + file.errorString());
    Sink sink;
    sink.file = &file;
    QByteArray body;
    if (options.acceptBody)
        sink.memory = &body;
    Result<long> status = perform(url, options, sink);
    if (status && sink.received == 0)
        status = transferError(CURLE_GOT_NOTHING, QStringLiteral("empty answer"));
    else if (status && options.acceptBody && !options.acceptBody(body))
        status = transferError(CURLE_WRITE_ERROR,
                               QStringLiteral("the answer is not what was asked for (cut short, or an error page)"));
    if (!status) {
        file.cancelWriting();
        return status.error();
    }
    if (!file.commit())
        return transferError(CURLE_WRITE_ERROR,
                             QStringLiteral("cannot replace ") + path + QStringLiteral(": ") + file.errorString());

    QFile saved(path);
    if (saved.open(QIODevice::ReadOnly) && looksLikeProgram(saved.read(4))) {
        saved.close();
        QFileDevice::Permissions permissions = QFile::permissions(path) | QFileDevice::ExeOwner | QFileDevice::ExeUser;
        if (permissions & QFileDevice::ReadGroup)
            permissions |= QFileDevice::ExeGroup;
        if (permissions & QFileDevice::ReadOther)
            permissions |= QFileDevice::ExeOther;
        QFile::setPermissions(path, permissions);
    }
    return {};
}

} // namespace support::http
