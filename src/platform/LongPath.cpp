#include "LongPath.h"

#include <QStringList>

namespace platform {

namespace {

bool isDriveLetter(QChar c)
{
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

bool isRelativeComponent(const QString& part)
{
    return part == u"." || part == u"..";
}

// What the system trims from a component before it opens a path: one period ending a component, and every period
// and blank ending the last one, unless a separator follows it.
QString trimmed(QString part, bool last)
{
    if (isRelativeComponent(part))
        return part;
    if (part.size() >= 2 && part.endsWith(u'.') && part[part.size() - 2] != u'.')
        part.chop(1);
    if (last) {
        while (!part.isEmpty() && (part.back() == u'.' || part.back() == u' '))
            part.chop(1);
    }
    return part;
}

// root + the components of rest, resolved as the system resolves them before it opens a path.
QString joinResolved(const QString& root, const QString& rest)
{
    const QStringList given = rest.split(u'\\');
    QStringList parts;
    for (qsizetype i = 0; i < given.size(); ++i) {
        const QString part = trimmed(given[i], i == given.size() - 1);
        if (part.isEmpty() || part == u".")
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
    // Only this exact prefix turns the system's normalisation off; written with "/" it is normalised as any path.
    if (path.startsWith(u"\\\\?\\"))
        return path;
    QString native = path;
    native.replace(u'/', u'\\');
    if (native.startsWith(u"\\\\.\\"))
        return path;
    if (native.startsWith(u"\\\\?\\")) {
        native.remove(0, 4);
        if (native.startsWith(u"UNC\\", Qt::CaseInsensitive))
            native.replace(0, 3, QStringLiteral("\\"));
        else if (!(native.size() >= 3 && isDriveLetter(native[0]) && native[1] == u':' && native[2] == u'\\'))
            return QStringLiteral("\\\\?\\") + native; // a device by name: nothing in it to resolve
    }
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
