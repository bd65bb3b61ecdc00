#pragma once

#include <QString>
#include <QtGlobal>

namespace testsupport {

/** Keeps a file from being deleted while it can still be opened, written and emptied, until destroyed: the
 *  way a user meets a folder whose entries cannot change, or a file another program holds open. */
class UndeletableFile final
{
public:
    explicit UndeletableFile(const QString& path);
    ~UndeletableFile();
    UndeletableFile(const UndeletableFile&) = delete;
    UndeletableFile& operator=(const UndeletableFile&) = delete;

    /** False when nothing here can keep the file (the file system or the system offers no way). */
    bool active() const;

private:
    QString m_path;
    bool m_active = false;
    qintptr m_restore = 0; // what to put back: the folder's mode or flags, or the handle held
};

} // namespace testsupport
