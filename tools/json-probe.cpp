// json-probe FILE: reads FILE as UTF-8, parses it with the program's JSON reader and prints, as UTF-8, the
// writer's text of the result, one LF, then the reader's diagnostics exactly as held (lines end in CR LF).
#include "MessageBox.h"
#include "Services.h"
#include "json.h"
#include "modUniCode.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

#ifdef Q_OS_WIN
#include <fcntl.h>
#include <io.h>
#endif

namespace {

/** Message boxes of a console tool: the text goes to standard error. */
class StderrMessageBox final : public platform::IMessageBox
{
public:
    void show(const QString& text, const QString&, platform::MessageIcon) override
    {
        const QByteArray bytes = text.toUtf8() + '\n';
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    }
};

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
#ifdef Q_OS_WIN
    // The bytes as they are: no LF turned into CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 2) {
        std::fputs("usage: json-probe FILE\n", stderr);
        return 2;
    }

    StderrMessageBox messageBox;
    platform::Services services;
    services.messageBox = &messageBox;

    const QString text = modUniCode::ReadUTF8TextFile(services, args.at(1));
    const json::JsonValue result = json::ParseJson(text);
    const QByteArray out = json::ToJsonText(result).toUtf8() + '\n' + json::Diagnostics().toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    std::fflush(stdout);
    return 0;
}
