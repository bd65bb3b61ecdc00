// What the publisher's signatures cost a 20 MB update: the check alone (prehashed, as minisign signs by
// default, and the legacy form), a download from a server on 127.0.0.1 with and without the check (the
// signature's own request included), and the check of a file already on disk, as before the hand-over.
#include "MinisignSigner.h"
#include "MinisignVerifier.h"
#include "modAutoUpdateV1_Download.h"

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <sodium.h>

#include <QFile>
#include <QTemporaryDir>

#include <thread>

namespace {

constexpr qsizetype UpdateBytes = 20 * 1024 * 1024;

// A 20 MB file with its signatures by a throw-away key, and that key's public line.
struct Release
{
    QByteArray file;
    QByteArray prehashed;
    QByteArray legacy;
    QString publicKey;
};

const Release& release()
{
    static const Release made = [] {
        const testsupport::MinisignSigner signer;
        Release r;
        r.file.resize(UpdateBytes);
        randombytes_buf(r.file.data(), std::size_t(r.file.size()));
        // A whole program to the download helpers (a script, on Linux), as every ".exe" must be.
        r.file.replace(0, 2, "#!");
        r.prehashed = signer.sign(r.file, "program.exe");
        r.legacy = signer.sign(r.file, "program.exe", false);
        r.publicKey = signer.publicKey();
        return r;
    }();
    return made;
}

// The release at /program.exe and /program.exe.minisig on 127.0.0.1.
class Server final
{
public:
    Server()
    {
        qputenv("no_proxy", "127.0.0.1"); // a developer's proxy must not stand between
        m_server.Get("/program.exe", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(release().file.constData(), std::size_t(release().file.size()),
                                 "application/octet-stream");
        });
        m_server.Get("/program.exe.minisig", [](const httplib::Request&, httplib::Response& response) {
            response.set_content(release().prehashed.toStdString(), "text/plain");
        });
        m_server.set_keep_alive_max_count(1); // as the update server's answers, one per connection
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
        while (!m_server.is_running())
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ~Server()
    {
        m_server.stop();
        m_thread.join();
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/program.exe").arg(m_port); }

private:
    httplib::Server m_server;
    int m_port = 0;
    std::thread m_thread;
};

void BM_Verify(benchmark::State& state)
{
    const Release& r = release();
    const QByteArray& signature = state.range(0) ? r.prehashed : r.legacy;
    const auto keys = minisign::parsePublicKeys(r.publicKey.toStdString());
    for (auto _ : state) {
        const auto verdict =
            minisign::verify({reinterpret_cast<const unsigned char*>(r.file.constData()), std::size_t(r.file.size())},
                             std::string_view(signature.constData(), std::size_t(signature.size())), *keys);
        if (verdict != minisign::Verdict::Verified)
            state.SkipWithError("not verified");
    }
    state.SetBytesProcessed(state.iterations() * r.file.size());
}
BENCHMARK(BM_Verify)->ArgName("prehashed")->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

void BM_Download(benchmark::State& state)
{
    const Server server;
    const QTemporaryDir dir;
    modAutoUpdateV1_Download::SetPublisherKeys(state.range(0) ? release().publicKey : QString());
    const QString target = dir.filePath(QStringLiteral("program.exe"));
    for (auto _ : state) {
        if (!modAutoUpdateV1_Download::DownloadFile(server.url(), target))
            state.SkipWithError("not saved");
    }
    state.SetBytesProcessed(state.iterations() * UpdateBytes);
}
BENCHMARK(BM_Download)->ArgName("verified")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_VerifyPublished(benchmark::State& state)
{
    const Server server;
    const QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("New_program.exe"));
    // Nothing installed to be newer than: the signature alone is checked.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(release().file) != UpdateBytes)
        state.SkipWithError("cannot write the file");
    file.close();
    modAutoUpdateV1_Download::SetPublisherKeys(release().publicKey);
    for (auto _ : state) {
        if (modAutoUpdateV1_Download::VerifyPublished(path, server.url(), QString()))
            state.SkipWithError("not verified");
    }
}
BENCHMARK(BM_VerifyPublished)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
