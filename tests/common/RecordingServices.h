#pragma once

#include "FileDialog.h"
#include "MachineIdentity.h"
#include "MessageBox.h"
#include "ProcessExit.h"
#include "Services.h"
#include "SettingsStore.h"
#include "WaitCursor.h"
#include "WaitWindow.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

/** One message box a test saw instead of a person. */
struct ShownMessage
{
    QString text;
    QString title;
    platform::MessageIcon icon = platform::MessageIcon::None;
};

/** Records what would have been shown; returns at once as if OK was pressed. */
class RecordingMessageBox final : public platform::IMessageBox
{
public:
    void show(const QString& text, const QString& title = {},
              platform::MessageIcon icon = platform::MessageIcon::None) override
    {
        messages.append({text, title, icon});
    }
    QStringList texts() const
    {
        QStringList list;
        for (const auto& m : messages)
            list.append(m.text);
        return list;
    }
    QList<ShownMessage> messages;
};

/** Records the exit instead of ending the test. */
class RecordingExit final : public platform::IProcessExit
{
public:
    void exitNow(int code) override
    {
        exited = true;
        exitCode = code;
    }
    bool exited = false;
    int exitCode = -1;
};

/** Counts the hourglass going on and off. */
class RecordingWaitCursor final : public platform::IWaitCursor
{
public:
    void set() override { ++depth, ++sets; }
    void restore() override { --depth; }
    int depth = 0;
    int sets = 0;
};

/** Runs the work at once, skipped from the start when skip is set, and keeps what the window would have said. */
class RecordingWaitWindow final : public platform::IWaitWindow
{
public:
    void run(const QString& text, const Work& work) override
    {
        texts.append(text);
        const platform::SkipFlag skipped{skip};
        work(skipped);
    }
    QStringList texts;
    bool skip = false;
};

/** Answers the file dialog as a person would, with the files set beforehand (none: cancelled); keeps where each
 *  dialog started and the filters offered. */
class AnsweringFileDialog final : public platform::IFileDialog
{
public:
    QStringList chooseFilesToOpen(const QString& startFolder, const QStringList& filters) override
    {
        startFolders.append(startFolder);
        offered = filters;
        return answer;
    }
    QStringList answer, startFolders, offered;
};

/** Keeps the folders the file manager was asked to show. */
class RecordingFileManager final : public platform::IFileManager
{
public:
    bool openFolder(const QString& folder) override
    {
        folders.append(folder);
        return true;
    }
    QStringList folders;
};

/** A PC with fixed MAC address candidates, best first. */
class FixedMachineIdentity final : public platform::IMachineIdentity
{
public:
    QStringList macAddresses() const override { return macs; }
    QStringList macs{QStringLiteral("00:1A:2B:3C:4D:5E")};
};

/** Services for a test: recorders where a person would look, real settings in a temporary folder, and a
 *  temporary folder standing in for the program's own. */
class TestServices final
{
public:
    TestServices()
        : settings(configDir.path()), services{&messageBox,
                                               &exit,
                                               &waitCursor,
                                               &machine,
                                               &settings,
                                               platform::AppLocation{appDir.path(), QStringLiteral("NorvaQuillet")},
                                               &waitWindow}
    {
        services.fileDialog = &fileDialog;
        services.fileManager = &fileManager;
    }

    QTemporaryDir configDir;
    QTemporaryDir appDir;
    RecordingMessageBox messageBox;
    RecordingExit exit;
    RecordingWaitCursor waitCursor;
    RecordingWaitWindow waitWindow;
    AnsweringFileDialog fileDialog;
    RecordingFileManager fileManager;
    FixedMachineIdentity machine;
    platform::SettingsStore settings;
    platform::Services services;
};

/** Writes bytes to path (creating folders); false when it could not. */
bool writeFile(const QString& path, const QByteArray& bytes);
/** The bytes of path; empty when it cannot be read. */
QByteArray readFile(const QString& path);
/** A port on 127.0.0.1 where nothing listens (it was free a moment ago). */
int closedPort();

/** The recording stand-in program (tests/common/recorder.cpp) as bytes, for serving it as a download. */
QByteArray recorderProgram();
/** Puts the recording stand-in program at path, runnable, with the actions it is to take before recording
 *  ("sleep MS", "new"; see recorder.cpp). False when it could not. */
bool installRecorder(const QString& path, const QByteArray& actions = {});
/** What each run of the recorder at path recorded, in no particular order: "<count>\n" then one argument a
 *  line. */
QList<QByteArray> recordedRuns(const QString& path);

} // namespace testsupport
