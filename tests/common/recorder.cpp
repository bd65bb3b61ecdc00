// A stand-in for a sibling tool, the same program on every system: it records each run's arguments beside
// itself, in "<own path>.<process id>.args" ("<count>\n" then one argument a line, UTF-8), written whole so a
// test never reads half a record. Before that it does what the lines of "<own path>.do" ask, if that file is
// there:
//   sleep MS   waits MS milliseconds (so a caller that should wait for the tool can be seen waiting)
//   new        leaves "New_" + the part of its first argument after ';' in its working folder, as the
//              version checker does when it fetched a newer build
//   stdio      writes "<own path>.<process id>.stdio": what its standard input, output and error are, one a line
//              (on Windows the handle's file type: 0 none, 2 a device; elsewhere where it leads, empty for none)
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QThread>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

QByteArray standardHandles()
{
    QByteArray kinds;
    for (int which = 0; which < 3; ++which) {
#ifdef Q_OS_WIN
        kinds += QByteArray::number(quint32(GetFileType(GetStdHandle(STD_INPUT_HANDLE - DWORD(which))))) + '\n';
#else
        kinds += QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(which))) + '\n';
#endif
    }
    return kinds;
}

} // namespace

int main(int argc, char** argv)
{
    const QCoreApplication app(argc, argv);
    const QString self = QCoreApplication::applicationFilePath();
    const QStringList args = QCoreApplication::arguments().mid(1);

    QFile actions(self + QStringLiteral(".do"));
    if (actions.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : actions.readAll().split('\n')) {
            const QList<QByteArray> words = line.trimmed().split(' ');
            if (words[0] == "sleep" && words.size() == 2) {
                QThread::msleep(words[1].toULong());
            } else if (words[0] == "stdio") {
                QSaveFile stdio(self + u'.' + QString::number(QCoreApplication::applicationPid()) +
                                QStringLiteral(".stdio"));
                const QByteArray kinds = standardHandles();
                if (!stdio.open(QIODevice::WriteOnly) || stdio.write(kinds) != kinds.size() || !stdio.commit())
                    return 4;
            } else if (words[0] == "new") {
                QFile made(QDir::current().filePath(QStringLiteral("New_") + args.value(0).section(u';', 1)));
                if (!made.open(QIODevice::WriteOnly) || made.write("new build\n") < 0)
                    return 3;
            }
        }
    }

    QByteArray record = QByteArray::number(args.size()) + '\n';
    for (const QString& arg : args)
        record += arg.toUtf8() + '\n';
    QSaveFile file(self + u'.' + QString::number(QCoreApplication::applicationPid()) + QStringLiteral(".args"));
    if (!file.open(QIODevice::WriteOnly) || file.write(record) != record.size() || !file.commit())
        return 2;
    return 0;
}
