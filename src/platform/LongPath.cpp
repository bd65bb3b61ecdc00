#include "LongPath.h"

#include <QStringList>

namespace platform {

namespace {

bool isDriveLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

// root + the components of rest, resolved as the system resolves them before it opens a path.
QString joinResolved(const QString& root, const QString& rest)
{
    QStringList parts;
    for (const QString& part : rest.split(u'\\', Qt::SkipEmptyParts)) {
        if (part == u".")
            continue;
        if (part == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
            continue;
        }
        parts.append(part);
    }
    return root + parts.join(u'\\');
}

} // namespace

QString extendedLengthPath(const QString& path)
{
    QString native = path;
    native.replace(u'/', u'\\');
    if (native.startsWith(u"\\\\?\\") || native.startsWith(u"\\\\.\\"))
        return path;
    // "C:\...": a drive and its root.
    if (native.size() >= 3 && isDriveLetter(native[0]) && native[1] == u':' && native[2] == u'\\')
        return joinResolved(QStringLiteral("\\\\?\\") + native.left(3), native.mid(3));
    // "\\server\share\...": the server and the share stay, whatever ".." follows them.
    if (native.startsWith(u"\\\\")) {
        const QStringList head = native.mid(2).split(u'\\');
        if (head.size() < 2 || head[0].isEmpty() || head[1].isEmpty())
            return path;
        const QString share = head[0] + u'\\' + head[1];
        return joinResolved(QStringLiteral("\\\\?\\UNC\\") + share + u'\\', native.mid(2 + share.size()));
    }
    return path;
}

} // namespace platform
