// decode-bench [--path=plain|ssse3|avx2|avx512] FILE...: decodes each FILE the way a mode-1 drop does and
// writes its ".sql" beside it. One line per file: bytes in, bytes out, seconds, MB/s. A file that fails
// prints its error report, and the exit status is then 1. --path picks the decode path (default: the widest
// this processor runs).
#include "DecodeDriver.h"
#include "DecodeLine.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (!args.isEmpty() && args.first().startsWith(QStringLiteral("--path="))) {
        const QString name = args.takeFirst().mid(7);
        const QStringList names{QStringLiteral("plain"), QStringLiteral("ssse3"), QStringLiteral("avx2"),
                                QStringLiteral("avx512")};
        const qsizetype path = names.indexOf(name);
        if (path < 0 || !decoder::UseDecodePath(static_cast<decoder::DecodePath>(path))) {
            std::fprintf(stderr, "decode-bench: unknown path, or one this processor cannot run: %s\n",
                         name.toLocal8Bit().constData());
            return 2;
        }
    }
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: decode-bench [--path=plain|ssse3|avx2|avx512] FILE...\n");
        return 2;
    }
    int status = 0;
    for (const QString& path : args) {
        const auto start = std::chrono::steady_clock::now();
        const platform::VbError error = decoder::DecodeFile(path).error();
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const QByteArray name = path.toLocal8Bit();
        if (error.isError()) {
            const QString report = platform::errorReportText(error, QStringLiteral("Decrypt"),
                                                             platform::ReportOwner::Form, QStringLiteral("frmMain"));
            std::printf("%s: %s\n", name.constData(), report.toLocal8Bit().constData());
            status = 1;
            continue;
        }
        const qint64 in = QFileInfo(path).size();
        const qint64 out = QFileInfo(decoder::OutputPathFor(path)).size();
        std::printf("%s: %lld bytes in, %lld bytes out, %.6f s, %.1f MB/s\n", name.constData(),
                    static_cast<long long>(in), static_cast<long long>(out), seconds,
                    seconds > 0 ? static_cast<double>(in) / 1e6 / seconds : 0.0);
    }
    return status;
}
