#pragma once

#include "Services.h"

#include <QStringList>
#include <QWidget>

#include <functional>

class QLabel;
class QLineEdit;
class QMimeData;
class QProgressBar;
class QRadioButton;

/** The external DES decoder, beside the program. */
inline constexpr char16_t ExternalDecoderName[] = u"Palvex.exe";

/** The main window: pick a decode mode, type the DES key, drop log files to decode them. */
class frmMain final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(frmMain)

public:
    /** The check that a sibling tool is present and current (file name, local folder, download sub-path,
     *  files to replace). */
    using VersionCheck = std::function<void(const QString&, const QString&, const QString&, const QStringList&)>;

    /** Loads the window (caption, saved mode and key, the external decoder's version check); not shown yet. */
    explicit frmMain(const platform::Services& services, VersionCheck versionCheck, QWidget* parent = nullptr);
    ~frmMain() override;

    /** The decode driver: what a drop of these files does. */
    void OLEDragDrop(const QStringList& paths);
    /** Decodes one file with the built-in line decoder; errors are reported here and swallowed. */
    void Decrypt(const QString& path);
    /** Starts the external DES decoder on one file and returns at once. */
    void RunExternalDecoder(const QString& path);
    /** Busy look (state label and progress bars) or idle look (help label). */
    void SetBusy(bool flag);

    /** The index of the selected mode button. */
    int modeIndex() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void Option1_Click(int index);
    void txtKey_Change();
    /** Ctrl+O: the files chosen in the file dialog, as if dropped. */
    void openFiles();
    /** Ctrl+V: the files copied in a file manager, as if dropped. */
    void pasteFiles();
    /** The local files a drag carries that this window takes now; empty for anything else, or while busy. */
    QStringList acceptableFiles(const QMimeData* mime) const;

    platform::Services m_services;
    QRadioButton* m_option1[2] = {};
    QLabel* m_label1 = nullptr;
    QLineEdit* m_txtKey = nullptr;
    QProgressBar* m_progressBar1[2] = {};
    QLabel* m_lblState = nullptr;
    QLabel* m_lblHelp = nullptr;
    // A batch runs; messages let through meanwhile may carry a close request, kept for the batch's end.
    bool m_busy = false;
    bool m_closeRequested = false;
};
