#include "ProcessExit.h"
#include "QtTexts.h"
#include "RealServices.h"
#include "RealStartup.h"
#include "SystemProxy.h"
#include "UiRecorder.h"

#include <QApplication>
#include <QIcon>

namespace {

int run(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf16(platform::AppTitle));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/NorvaQuillet.png")));
    platform::installKoreanQtTexts();
    // Only when a test of the whole program asks for it: what was shown goes to a file.
    const platform::UiRecorder uiRecorder(qEnvironmentVariable(platform::UiRecorder::EnvironmentVariable));

    const platform::RealServices real;
    const platform::Services& services = real.services();
    // IT's "DiagnosticLog" machine policy, when set, overrules the person's own setting.
    const auto diagnosticLog = modMain::startDiagnosticLog(services, services.databaseTls.diagnosticLog);

    // The login dialog closes before the main window opens: that must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    modMain::Main(services, modMain::realStartupSteps(services));
    QApplication::setQuitOnLastWindowClosed(true);
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[])
{
    const int code = run(argc, argv);
    // A proxy question the person skipped may still be running on its thread: the teardown after main would wait
    // for it and destroy Qt's proxy state under it.
    if (support::http::systemQuestionRunning())
        platform::ProcessExit().exitNow(code);
    return code;
}
