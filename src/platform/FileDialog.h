#pragma once

#include <QStringList>

namespace platform {

/** The system's dialog for choosing files to open, answered by a person. Tests replace it with a double. */
class IFileDialog
{
public:
    virtual ~IFileDialog() = default;
    /** Lets the user choose existing files, starting in startFolder (empty: the system's choice), with
     *  filters such as "Log files (*.log)", the first one selected. The chosen paths in the order the dialog
     *  gives them; empty when the user cancelled. */
    virtual QStringList chooseFilesToOpen(const QString& startFolder, const QStringList& filters) = 0;
};

} // namespace platform
