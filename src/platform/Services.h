#pragma once

#include "AppInfo.h"
#include "DatabaseTlsPolicy.h"
#include "FileDialog.h"
#include "FileManager.h"
#include "MachineIdentity.h"
#include "MessageBox.h"
#include "ProcessExit.h"
#include "SettingsStore.h"
#include "WaitCursor.h"
#include "WaitWindow.h"

namespace platform {

/** The OS services that logic and forms are handed instead of reaching for them themselves.
 *  main() fills it with the real ones; tests put recorders where a person would have to look. */
struct Services final
{
    IMessageBox* messageBox = nullptr;
    IProcessExit* processExit = nullptr;
    IWaitCursor* waitCursor = nullptr;
    IMachineIdentity* machine = nullptr;
    SettingsStore* settings = nullptr;
    AppLocation app;
    IWaitWindow* waitWindow = nullptr;
    IFileDialog* fileDialog = nullptr;
    IFileManager* fileManager = nullptr;
    /** The machine's policy for the database connection, read once at start. */
    DatabaseTlsPolicy databaseTls = {};
};

} // namespace platform
