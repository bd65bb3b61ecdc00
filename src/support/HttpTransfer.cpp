#include "HttpTransfer.h"

#include <QFile>
#include <QSaveFile>
#include <QUrl>

#include <curl/curl.h>

#include <atomic>
#include <mutex>

namespace support::http {

namespace {

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
    return head.startsWith("MZ") || head.startsWith("\x7f" "ELF") || head.startsWith("#!");
}

Result perform(const QString& url, const GetOptions& options, Sink& sink)
{
    Result result;
    const QByteArray encoded = encodeUrl(url);
    if (encoded.isEmpty()) {
        result.error = QStringLiteral("not an http or https address: ") + url;
        return result;
    }

    initCurlOnce();
    CURL* curl = curl_easy_init();
    if (!curl) {
        result.error = QStringLiteral("cannot create a transfer");
        return result;
    }
    sink.curl = curl;
    sink.maxBytes = options.maxBytes;
    sink.enoughBytes = options.enoughBytes;

    char errorBuffer[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_URL, encoded.constData());
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

    const CURLcode code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.status);

    if (sink.enough || code == CURLE_OK) {
        result.ok = isSuccessStatus(result.status);
        if (!result.ok)
            result.error = QStringLiteral("HTTP status ") + QString::number(result.status);
    } else if (sink.badStatus) {
        result.error = QStringLiteral("HTTP status ") + QString::number(result.status);
    } else if (sink.tooLarge) {
        result.error = QStringLiteral("answer longer than ") + QString::number(options.maxBytes) +
                       QStringLiteral(" bytes");
    } else if (sink.writeFailed) {
        result.error = QStringLiteral("cannot write the downloaded file");
    } else {
        result.error = QString::fromUtf8(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code));
    }
    curl_easy_cleanup(curl);
    return result;
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

Result get(const QString& url, const GetOptions& options)
{
    QByteArray body;
    Sink sink;
    sink.memory = &body;
    Result result = perform(url, options, sink);
    if (result.ok)
        result.body = std::move(body);
    return result;
}

Result download(const QString& url, const QString& path, const GetOptions& options)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        Result result;
        result.error = QStringLiteral("cannot create a file beside ") + path + QStringLiteral(": ") +
                       file.errorString();
        return result;
    }
    Sink sink;
    sink.file = &file;
    QByteArray body;
    if (options.acceptBody)
        sink.memory = &body;
    Result result = perform(url, options, sink);
    if (result.ok && sink.received == 0) {
        result.ok = false;
        result.error = QStringLiteral("empty answer");
    } else if (result.ok && options.acceptBody && !options.acceptBody(body)) {
        result.ok = false;
        result.error = QStringLiteral("the answer is not what was asked for (cut short, or an error page)");
    }
    if (!result.ok) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.ok = false;
        result.error = QStringLiteral("cannot replace ") + path + QStringLiteral(": ") + file.errorString();
        return result;
    }

    QFile saved(path);
    if (saved.open(QIODevice::ReadOnly) && looksLikeProgram(saved.read(4))) {
        saved.close();
        QFileDevice::Permissions permissions = QFile::permissions(path) | QFileDevice::ExeOwner |
                                               QFileDevice::ExeUser;
        if (permissions & QFileDevice::ReadGroup)
            permissions |= QFileDevice::ExeGroup;
        if (permissions & QFileDevice::ReadOther)
            permissions |= QFileDevice::ExeOther;
        QFile::setPermissions(path, permissions);
    }
    return result;
}

} // namespace support::http
