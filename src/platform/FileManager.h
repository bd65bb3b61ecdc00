#pragma once

#include <QString>

namespace platform {

/** The desktop's file manager, where a person can put a file in place by hand. Tests record what it was asked to
 *  show instead of opening a window. */
class IFileManager
{
public:
    virtual ~IFileManager() = default;
    /** Shows folder in a window of its own and returns at once; false when the file manager could not be started. */
    virtual bool openFolder(const QString& folder) = 0;
};

/** The system's own: Explorer on Windows, the desktop's default (xdg-open) elsewhere. */
class FileManager final : public IFileManager
{
public:
    bool openFolder(const QString& folder) override;
};

} // namespace platform
