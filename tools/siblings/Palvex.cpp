// Stand-in for the external DES decoder "Palvex.exe". Given a log's path and the pass phrase, it writes the
// ".sql" file beside the log under the name the program gives its own output, holding a marker line and then
// the log as it is. It decrypts nothing: it shows that the second mode ran it on the file.
#include "ToolConsole.h"

#include "DecodeDriver.h"

#include <QFile>
#include <QSaveFile>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3 || args.at(1).isEmpty()) {
        tools::say(QStringLiteral("usage: Palvex LOG PASSPHRASE"));
        return 2;
    }
    const QString input = args.at(1);
    const QString output = decoder::OutputPathFor(input);
    if (QFileInfo(output) == QFileInfo(input)) {
        tools::say(input + QStringLiteral(" would be its own output: nothing written"));
        return 1;
    }

    QFile log(input);
    if (!log.open(QIODevice::ReadOnly)) {
        tools::say(QStringLiteral("cannot read ") + input + QStringLiteral(": ") + log.errorString());
        return 1;
    }
    // Written whole or not at all.
    QSaveFile sql(output);
    if (!sql.open(QIODevice::WriteOnly) ||
        sql.write("-- Palvex (stand-in): not decrypted, the log follows as it is\r\n") < 0 ||
        sql.write(log.readAll()) < 0 || log.error() != QFileDevice::NoError || !sql.commit()) {
        tools::say(QStringLiteral("cannot write ") + output + QStringLiteral(": ") + sql.errorString());
        return 1;
    }
    return 0;
}
