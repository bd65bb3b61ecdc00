#include "UiRecorder.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QTimer>

namespace platform {

UiRecorder::UiRecorder(const QString& path) : m_path(path)
{
    if (!m_path.isEmpty())
        qApp->installEventFilter(this);
}

UiRecorder::~UiRecorder()
{
    if (!m_path.isEmpty())
        qApp->removeEventFilter(this);
}

bool UiRecorder::eventFilter(QObject* watched, QEvent* event)
{
    // The show() call, not the window system's echo of it: one record per showing.
    if (event->type() == QEvent::Show && !event->spontaneous() && watched->isWidgetType()) {
        auto* widget = static_cast<QWidget*>(watched);
        const Qt::WindowType type = widget->windowType();
        if (widget->isWindow() && (type == Qt::Window || type == Qt::Dialog))
            record(widget);
    }
    return QObject::eventFilter(watched, event);
}

void UiRecorder::record(QWidget* window)
{
    QJsonObject line{{QStringLiteral("pid"), QCoreApplication::applicationPid()},
                     {QStringLiteral("class"), QString::fromLatin1(window->metaObject()->className())},
                     {QStringLiteral("object"), window->objectName()},
                     {QStringLiteral("title"), window->windowTitle()}};
    auto* box = qobject_cast<QMessageBox*>(window);
    if (box) {
        line.insert(QStringLiteral("text"), box->text());
        line.insert(QStringLiteral("icon"),
                    box->icon() == QMessageBox::Critical ? QStringLiteral("error") : QStringLiteral("none"));
    }
    // One unbuffered write per record, appended: lines of several processes never mix.
    QFile file(m_path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        file.write(QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n');

    if (window->objectName() == u"frmMain" && qEnvironmentVariableIsSet(DropVariable))
        QTimer::singleShot(0, window, [this, window] { dropAndClose(window); });
    if (box) {
        QTimer::singleShot(0, box, [guarded = QPointer<QMessageBox>(box)] {
            if (!guarded)
                return;
            if (QAbstractButton* ok = guarded->button(QMessageBox::Ok))
                ok->click();
            else
                guarded->accept();
        });
    }
}

void UiRecorder::dropAndClose(QWidget* window)
{
    QList<QUrl> files;
    const QStringList paths = qEnvironmentVariable(DropVariable).split(QDir::listSeparator(), Qt::SkipEmptyParts);
    for (const QString& path : paths)
        files.append(QUrl::fromLocalFile(path));
    if (!files.isEmpty()) {
        QMimeData data;
        data.setUrls(files);
        // As a drag does: the entry makes the window the drop's target.
        const QPoint centre = window->rect().center();
        QDragEnterEvent enter(centre, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &enter);
        QDropEvent drop(QPointF(centre), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &drop);
    }
    window->close();
}

} // namespace platform
