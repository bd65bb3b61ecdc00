#pragma once

#include <QObject>
#include <QString>

class QWidget;

namespace platform {

/** Writes down every window the program shows, for a test that runs the whole program as a process of its
 *  own and must know what a person would have seen. Off unless a file is named. Then each window shown adds
 *  one JSON line to it (process id, class, object name, title, a message box's text), and each message box
 *  is answered with OK once it is on screen, as a person would answer it. When DropVariable is set too, the
 *  main window, once shown, gets a drop of the files it names (separated as in PATH) and is then closed. */
class UiRecorder final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(UiRecorder)

public:
    /** The environment variable that names the file. */
    static constexpr char EnvironmentVariable[] = "ZT_UI_RECORD";
    /** The environment variable that names the files to drop on the main window. */
    static constexpr char DropVariable[] = "ZT_UI_DROP";

    /** Records into path, appending (several processes may share one file); does nothing when path is empty. */
    explicit UiRecorder(const QString& path);
    ~UiRecorder() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void record(QWidget* window);
    void dropAndClose(QWidget* window);

    QString m_path;
};

} // namespace platform
