// What the update checks cost the program, measured as the program pays them.
//
//   update-bench checks ROUNDS FILE...   each FILE signed as its name, copied into a fresh folder per round, and
//                                        the check before it runs (CheckInstalled) timed cold: what a start where
//                                        every file is current adds (the checker and the external decoder)
//   update-bench fetch URL PATH KEY      FetchFile(URL, PATH) verified with the public key line KEY, once: run it
//                                        under /usr/bin/time -v for the peak memory of a download
#include "MinisignSigner.h"
#include "modAutoUpdateV1_Download.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

namespace {

int checks(int rounds, const QStringList& files)
{
    const testsupport::MinisignSigner signer;
    modAutoUpdateV1_Download::SetPublisherKeys(signer.publicKey());
    const QTemporaryDir dir;
    QList<qint64> nanoseconds;
    for (int round = 0; round < rounds; ++round) {
        const QString folder = dir.filePath(QString::number(round));
        QDir().mkpath(folder);
        QStringList copies;
        for (const QString& file : files) {
            QFile in(file);
            const QByteArray bytes = in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
            const QString copy = folder + u'/' + QFileInfo(file).fileName();
            QFile out(copy), signature(copy + QStringLiteral(".minisig"));
            if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() ||
                !signature.open(QIODevice::WriteOnly) ||
                signature.write(signer.sign(bytes, QFileInfo(file).fileName().toUtf8())) < 0)
                return std::fprintf(stderr, "cannot copy %s\n", qPrintable(file)), 1;
            copies.append(copy);
        }
        QElapsedTimer clock;
        clock.start();
        for (const QString& copy : std::as_const(copies)) {
            if (modAutoUpdateV1_Download::CheckInstalled(copy))
                return std::fprintf(stderr, "%s does not verify\n", qPrintable(copy)), 1;
        }
        nanoseconds.append(clock.nsecsElapsed());
    }
    std::sort(nanoseconds.begin(), nanoseconds.end());
    std::printf("checks of %lld files, %d rounds: median %.2f ms, min %.2f ms, max %.2f ms\n",
                static_cast<long long>(files.size()), rounds, double(nanoseconds.at(rounds / 2)) / 1e6,
                double(nanoseconds.first()) / 1e6, double(nanoseconds.last()) / 1e6);
    return 0;
}

int fetch(const QString& url, const QString& path, const QString& key)
{
    modAutoUpdateV1_Download::SetPublisherKeys(key);
    const modAutoUpdateV1_Download::Fetched fetched = modAutoUpdateV1_Download::FetchFile(url, path);
    if (fetched.refused)
        std::printf("%s\n", qPrintable(modAutoUpdateV1_Download::SignatureRefusedText(path, *fetched.refused)));
    std::printf("%s: %s, %lld bytes\n", qPrintable(path), fetched.saved ? "saved" : "not saved",
                static_cast<long long>(QFileInfo(path).size()));
    return fetched.saved ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    const QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() >= 3 && args[0] == u"checks" && args[1].toInt() > 0)
        return checks(args[1].toInt(), args.mid(2));
    if (args.size() == 4 && args[0] == u"fetch")
        return fetch(args[1], args[2], args[3]);
    std::fprintf(stderr, "usage: update-bench checks ROUNDS FILE... | update-bench fetch URL PATH KEY\n");
    return 2;
}
