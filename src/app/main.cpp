#include "MessageBoxQt.h"
#include "NetworkMachineIdentity.h"
#include "ProcessExit.h"
#include "RealStartup.h"
#include "SettingsStore.h"
#include "UiRecorder.h"
#include "WaitCursorQt.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf16(platform::AppTitle));
    // Only when a test of the whole program asks for it: what was shown goes to a file.
    const platform::UiRecorder uiRecorder(qEnvironmentVariable(platform::UiRecorder::EnvironmentVariable));

    platform::MessageBoxQt messageBox;
    platform::ProcessExit processExit;
    platform::WaitCursorQt waitCursor;
    platform::NetworkMachineIdentity machine;
    platform::SettingsStore settings;
    const platform::Services services{&messageBox, &processExit, &waitCursor,
                                      &machine,    &settings,    platform::AppLocation::current()};

    // The login dialog closes before the main window opens: that must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);
    modMain::Main(services, modMain::realStartupSteps(services));
    QApplication::setQuitOnLastWindowClosed(true);
    return QApplication::exec();
}
