// GETs one URL the way the program does and writes what happened to a file: "ok STATUS" or "error NUMBER
// DESCRIPTION" on the first line, the body after it. A process of its own, so that it asks the system for
// the proxy settings a test has just made (a console program under Wine writes nothing to a pipe).
#include "HttpTransfer.h"

#include <QCoreApplication>
#include <QFile>

int main(int argc, char** argv)
{
    const QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3)
        return 2;
    QFile out(args.at(2));
    if (!out.open(QIODevice::WriteOnly))
        return 2;
    const auto answer = support::http::get(args.at(1));
    if (answer)
        out.write("ok " + QByteArray::number(answer->status) + '\n' + answer->body);
    else
        out.write("error " + QByteArray::number(answer.error().number()) + ' ' + answer.error().description().toUtf8() +
                  '\n');
    return out.flush() ? 0 : 2;
}
