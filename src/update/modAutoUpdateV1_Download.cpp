#include "modAutoUpdateV1_Download.h"

#include "HttpTransfer.h"

namespace modAutoUpdateV1_Download {

namespace {
constexpr qint64 OpenUrlBytes = 20;
}

QString OpenUrl(const QString& url)
{
    support::http::GetOptions options;
    options.userAgent = QByteArrayLiteral("VB OpenUrl");
    options.enoughBytes = OpenUrlBytes;
    const support::http::Result result = support::http::get(url, options);
    if (!result.ok)
        return {};
    return QString::fromLatin1(result.body.left(OpenUrlBytes));
}

bool DownloadFile(const QString& url, const QString& localPath)
{
    return support::http::download(url, localPath).ok;
}

bool DownloadFiles(const QString& baseUrl, const QString& localDir, const QStringList& names, qsizetype* failedIndex)
{
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        if (name.isEmpty())
            return true;
        if (!DownloadFile(baseUrl + u'/' + name, localDir + u'/' + name)) {
            if (failedIndex)
                *failedIndex = i;
            return false;
        }
    }
    return true;
}

} // namespace modAutoUpdateV1_Download
