#pragma once

#include "FileDialogQt.h"
#include "FolderAccess.h"
#include "MessageBoxQt.h"
#include "NetworkMachineIdentity.h"
#include "ProcessExit.h"
#include "Services.h"
#include "SettingsStore.h"
#include "WaitCursorQt.h"
#include "WaitWindowQt.h"
#include "frmMain.h"
#include "modAutoUpdateV1_Launcher.h"
#include "modServerAddressUtil.h"

namespace platform {

/** The real services a person meets: message boxes, the file dialog, the file manager, the hourglass, the wait window,
 *  this PC's network identity, the user's own settings store, the running program's folder (tried once for whether
 *  the program can keep its files there: make new ones, and replace those it updates), and the machine's policy for
 *  the database connection. Lives as long as what it is handed to. */
class RealServices final
{
public:
    RealServices()
    {
        const FolderWriteBlock block =
            folderWriteBlock(m_services.app.dir, {QString::fromUtf16(modServerAddressUtil::CacheFileName),
                                                  QString::fromUtf16(modAutoUpdateV1_Launcher::CheckerName),
                                                  QString::fromUtf16(modAutoUpdateV1_Launcher::ReplacerName),
                                                  QString::fromUtf16(ExternalDecoderName), m_services.app.exeFileName});
        m_services.app.writeBlock = block.cause;
        m_services.app.trialFileLeft = block.trialFileLeft;
        m_services.databaseTls = readDatabaseTlsPolicy(machinePolicyLocation());
    }
    RealServices(const RealServices&) = delete;
    RealServices& operator=(const RealServices&) = delete;

    const Services& services() const { return m_services; }

private:
    MessageBoxQt m_messageBox;
    ProcessExit m_processExit;
    WaitCursorQt m_waitCursor;
    NetworkMachineIdentity m_machine;
    SettingsStore m_settings;
    WaitWindowQt m_waitWindow;
    FileDialogQt m_fileDialog;
    FileManager m_fileManager;
    Services m_services{&m_messageBox,          &m_processExit, &m_waitCursor, &m_machine,    &m_settings,
                        AppLocation::current(), &m_waitWindow,  &m_fileDialog, &m_fileManager};
};

} // namespace platform
