#pragma once

#include "FileDialog.h"

namespace platform {

/** The real file dialog: the system's own where the platform has one, Qt's elsewhere. */
class FileDialogQt final : public IFileDialog
{
public:
    QStringList chooseFilesToOpen(const QString& startFolder, const QStringList& filters) override;
};

} // namespace platform
