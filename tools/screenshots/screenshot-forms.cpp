// screenshot-forms FOLDER LOG: the README's pictures of the real forms, as a window manager shows them on the
// current display. login.png: the login dialog once it has asked the database for this PC's user. main.png:
// the main window after LOG was dropped on it, beside a plain viewer of the ".sql" file the drop wrote.
// scripts/screenshots runs it under Xvfb against the local database.
#include "Cp949.h"
#include "DecodeDriver.h"
#include "RealServices.h"
#include "frmLogin.h"
#include "frmMain.h"
#include "modMainShared.h"

#include <QApplication>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QThread>
#include <QUrl>

#include <cstdio>

namespace {

// Lets the window manager frame and the windows paint.
void settle(int milliseconds = 1500)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < milliseconds) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(20);
    }
}

// The screen's pixels of the frames of windows, frames included.
bool capture(const QList<QWidget*>& windows, const QString& path)
{
    QRect area;
    for (QWidget* window : windows)
        area |= window->frameGeometry();
    const QPixmap pixels =
        QApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (!pixels.save(path)) {
        std::fprintf(stderr, "screenshot-forms: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::fprintf(stderr, "screenshot-forms: %s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromUtf16(platform::AppTitle));
    const QStringList args = QApplication::arguments();
    if (args.size() != 3) {
        std::fputs("usage: screenshot-forms FOLDER LOG\n", stderr);
        return 2;
    }
    const QString folder = args.at(1);
    const QString log = QFileInfo(args.at(2)).absoluteFilePath();

    const platform::RealServices real;
    const platform::Services& services = real.services();
    modMain::UpdateServerHost = platform::defaultServerAddress();
    modMain::DbServerHost = platform::defaultServerAddress();

    {
        frmLogin login(services);
        login.move(60, 60);
        login.show();
        auto* userName = login.findChild<QLineEdit*>(QStringLiteral("txtUserName"));
        QElapsedTimer clock;
        clock.start();
        while (userName->text().isEmpty() && login.isVisible() && clock.elapsed() < 30000)
            settle(100);
        if (userName->text().isEmpty()) {
            std::fputs("screenshot-forms: the login dialog got no user for this PC\n", stderr);
            return 1;
        }
        settle();
        if (!capture({&login}, folder + QStringLiteral("/login.png")))
            return 1;
    }

    frmMain window(services, {});
    window.move(60, 60);
    window.show();
    settle();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(log)});
    // As a drag from the desktop arrives: it enters the window, then drops.
    const QPoint centre = window.rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &drop);

    QFile sql(decoder::OutputPathFor(log));
    if (!sql.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "screenshot-forms: the drop wrote no %s\n", qPrintable(sql.fileName()));
        return 1;
    }
    QPlainTextEdit viewer;
    viewer.setWindowTitle(QFileInfo(sql.fileName()).fileName());
    viewer.setReadOnly(true);
    viewer.setLineWrapMode(QPlainTextEdit::NoWrap);
    viewer.setPlainText(support::cp949::toUnicode(sql.readAll()));
    viewer.resize(620, 300);
    viewer.move(60, window.frameGeometry().bottom() + 20);
    viewer.show();
    settle();
    return capture({&window, &viewer}, folder + QStringLiteral("/main.png")) ? 0 : 1;
}
