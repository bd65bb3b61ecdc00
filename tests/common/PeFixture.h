#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace testsupport {

/** What the generated Windows program's version resource holds. */
struct PeFixture
{
    /** The "FileVersion" string of the first string table; none when empty. */
    QString fileVersion = QStringLiteral("1.0.0.7");
    /** Strings placed before "FileVersion" in the first table. */
    QList<QPair<QString, QString>> otherStrings = {{QStringLiteral("CompanyName"), QStringLiteral("Norva")}};
    /** Key of the version string (Windows compares it exactly). */
    QString fileVersionKey = QStringLiteral("FileVersion");
    /** A second string table carrying this "FileVersion" (only the first table counts); none when empty. */
    QString secondTableFileVersion;
    /** "VarFileInfo" before "StringFileInfo", as some linkers write it. */
    bool varFileInfoFirst = false;
    /** A 64-bit image (PE32+). */
    bool pe32Plus = false;
    /** The resource type the tree holds: 16 is RT_VERSION, anything else leaves the program without one. */
    quint32 resourceType = 16;
    /** A signed image: a certificate table of this many bytes after the sections, as signing appends it. */
    quint32 certificateSize = 0;
};

/** A minimal, well-formed Windows program image (headers, one ".rsrc" section, a version resource, and a
 *  signature when asked for). */
QByteArray makePeImage(const PeFixture& fixture = {});

} // namespace testsupport
