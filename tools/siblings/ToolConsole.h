#pragma once

#include "MessageBox.h"
#include "ProcessExit.h"
#include "Services.h"
#include "WaitCursor.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <utility>

// What the stand-in tools share: they have no windows, so what the program would show in a message box they
// write to standard error, under their own name.
namespace tools {

/** One line on standard error: "Name: text". */
inline void say(const QString& text)
{
    const QString line =
        QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName() + QStringLiteral(": ") + text + u'\n';
    std::fputs(line.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

/** The tool's one argument "first;second" split at its first ";"; both empty unless there is exactly one
 *  argument holding a ";". */
inline std::pair<QString, QString> semicolonPair()
{
    const QStringList args = QCoreApplication::arguments();
    const QString parameters = args.size() == 2 ? args.at(1) : QString();
    const qsizetype semicolon = parameters.indexOf(u';');
    if (semicolon < 0)
        return {};
    return {parameters.left(semicolon), parameters.mid(semicolon + 1)};
}

/** Messages of the update code go to standard error. */
class ConsoleMessageBox final : public platform::IMessageBox
{
public:
    void show(const QString& text, const QString& title = {},
              platform::MessageIcon icon = platform::MessageIcon::None) override
    {
        Q_UNUSED(title);
        Q_UNUSED(icon);
        say(text);
    }
};

/** The services a tool hands the program's code: console messages, its own folder as the program's. */
class ToolServices final
{
public:
    ToolServices() : services{&messageBox, &exit, &waitCursor, nullptr, nullptr, platform::AppLocation::current()} {}

    ConsoleMessageBox messageBox;
    platform::ProcessExit exit;
    platform::NoWaitCursor waitCursor;
    platform::Services services;
};

} // namespace tools
