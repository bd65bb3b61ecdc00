#include "WaitWindowQt.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace platform {

namespace {

// The program's name, what it waits for, a moving bar and the skip button. Closing it skips too.
std::unique_ptr<QDialog> makeWindow(const QString& title, const QString& text)
{
    auto window = std::make_unique<QDialog>();
    window->setObjectName(QStringLiteral("waitWindow"));
    window->setWindowTitle(title);

    auto* label = new QLabel(text, window.get());
    label->setObjectName(QStringLiteral("lblWaitText"));
    auto* bar = new QProgressBar(window.get());
    bar->setObjectName(QStringLiteral("waitBar"));
    bar->setRange(0, 0); // no end known: the bar just moves
    bar->setTextVisible(false);
    auto* skip = new QPushButton(QStringLiteral("건너뛰기"), window.get());
    skip->setObjectName(QStringLiteral("cmdSkip"));
    skip->setDefault(true);
    QObject::connect(skip, &QPushButton::clicked, window.get(), &QDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(skip);
    auto* layout = new QVBoxLayout(window.get());
    layout->addWidget(label);
    layout->addWidget(bar);
    layout->addLayout(buttons);
    window->setFixedSize(window->sizeHint().expandedTo(QSize(320, 0)));
    return window;
}

} // namespace

void WaitWindowQt::run(const QString& text, const Work& work)
{
    SkipFlag skipped{false};
    QEventLoop loop;
    const std::unique_ptr<QThread> worker(QThread::create([&work, &skipped] { work(skipped); }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit);

    worker->start();
    // The window is made while the work runs, and only shown once the wait has lasted: the first window a program
    // makes loads the style and the fonts, which takes a second and more under Wine, and would come on top.
    QElapsedTimer waited;
    waited.start();
    const std::unique_ptr<QDialog> window = makeWindow(m_title, text);
    QObject::connect(window.get(), &QDialog::rejected, &loop, [&skipped] { skipped = true; });
    QTimer announce;
    announce.setSingleShot(true);
    QObject::connect(&announce, &QTimer::timeout, window.get(), &QDialog::show);
    announce.start(std::max<qint64>(0, m_showAfterMs - waited.elapsed()));
    loop.exec();
    // The loop also ends when the application quits: the work must still end before what it uses goes away.
    skipped = true;
    worker->wait();
}

} // namespace platform
