// A stand-in for a sibling tool, the same program on every system: it records each run's arguments beside
// itself, in "<own path>.<process id>.args" ("<count>\n" then one argument a line, UTF-8), written whole so a
// test never reads half a record. Before that it does what the lines of "<own path>.do" ask, if that file is
// there:
//   sleep MS   waits MS milliseconds (so a caller that should wait for the tool can be seen waiting)
//   new        leaves "New_" + the part of its first argument after ';' in its working folder, as the
//              version checker does when it fetched a newer build
//   stdio      writes "<own path>.<process id>.stdio": what its standard input, output and error are, one a line
//              ("none", "console", "null" for the null device, else what it was handed)
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
#ifdef Q_OS_WIN
    for (const DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
        const HANDLE handle = GetStdHandle(which);
        DWORD mode = 0;
        kinds += !handle || handle == INVALID_HANDLE_VALUE ? QByteArray("none")
                 : GetConsoleMode(handle, &mode)           ? QByteArray("console")
                                                 : "file type " + QByteArray::number(quint32(GetFileType(handle)));
        kinds += '\n';
    }
#else
    for (int fd = 0; fd < 3; ++fd) {
        const QByteArray target = QFile::encodeName(QFile::symLinkTarget(QStringLiteral("/proc/self/fd/%1").arg(fd)));
        kinds += (target.isEmpty() ? QByteArray("none") : target == "/dev/null" ? QByteArray("null") : target) + '\n';
    }
#endif
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
