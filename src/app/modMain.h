#pragma once

#include "Services.h"
// The host globals Main fixes, and the two helpers of this module that the login code calls, live in
// support/modMainShared.h: the update and login code below app read them.
#include "modMainShared.h"

#include <QString>

#include <functional>

namespace modMain {

/** The pieces Main runs, in its order. main() binds the real server list, update launcher and forms;
 *  a test binds recorders. */
struct StartupSteps final
{
    std::function<bool(const QString& user)> refreshServerAddressCache;
    std::function<void()> loadServerAddressCache;
    std::function<QString(const QString& name)> getServerHost;
    std::function<bool(bool skipSelfUpdate)> runAutoUpdate;
    /** Creates the login dialog, shows it modally, reads LoginSucceeded and unloads the dialog. */
    std::function<bool()> runLoginDialog;
    /** Creates the main window and shows it modeless. */
    std::function<void()> showMainWindow;
};

/** What start-up says once when the program cannot keep its files in its folder dir: the folder, the cause (and the
 *  file it concerns), what will not work (the server list is not kept, updates are not installed), and the trial's
 *  own file when it was left there. */
QString FolderNotWritableMessage(const QString& dir, const platform::VbError& cause, const QString& trialFileLeft);

/** The program's entry: server list, update launcher, login, main window. */
void Main(const platform::Services& services, const StartupSteps& steps);

} // namespace modMain
