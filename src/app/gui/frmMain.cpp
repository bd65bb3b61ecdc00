#include "frmMain.h"

#include "DecodeDriver.h"
#include "LogCategories.h"
#include "Processes.h"
#include "modAutoUpdateV1_Download.h"

#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>
#include <QShortcut>
#include <QUrl>

namespace {

// One line per file, never per decoded line.
void logDecoded(const QString& path, const platform::VbError& error, qint64 ms)
{
    if (!platform::lcDecode().isWarningEnabled())
        return;
    const QString input = QDir::fromNativeSeparators(path);
    const QString head =
        path + QStringLiteral(" (built-in, ") + QString::number(QFileInfo(input).size()) + QStringLiteral(" bytes): ");
    if (error.isError())
        qCWarning(platform::lcDecode).noquote()
            << head + QStringLiteral("error ") + QString::number(error.number()) + QStringLiteral(", ") +
                   error.description() + QStringLiteral(", ") + QString::number(ms) + QStringLiteral(" ms");
    else
        qCInfo(platform::lcDecode).noquote()
            << head + QString::number(QFileInfo(decoder::OutputPathFor(input)).size()) + QStringLiteral(" bytes to ") +
                   QDir::toNativeSeparators(decoder::OutputPathFor(input)) + QStringLiteral(", ") +
                   QString::number(ms) + QStringLiteral(" ms");
}

const QString SettingsSection = QStringLiteral("Config");
const QString KeyOption1Index = QStringLiteral("Option1_Index");
const QString KeyDesKey = QStringLiteral("DesKey");
const QString KeyLastOpenFolder = QStringLiteral("LastOpenFolder");
const QStringList OpenFilters{QStringLiteral("Log files (*.log)"), QStringLiteral("All files (*.*)")};
// What a screen reader says of the controls whose captions do not say it themselves.
const QString TxtKeyAccessibleName = QStringLiteral("DES 암호화 키");
const QString Option0Description = QStringLiteral("내장 디코더로 Log파일을 디코딩합니다.");
const QString Option1Description =
    QStringLiteral("외부 디코더 Palvex.exe로 Log파일을 디코딩합니다. DES 암호화 키가 필요합니다.");
const QString ExternalDecoder = QString::fromUtf16(ExternalDecoderName);
const QString ExternalDecoderPassPhrase = QStringLiteral("wrbe3%KA");
const QString UnfinishedOutputKept =
    QStringLiteral("작업을 멈추었지만 끝까지 디코딩되지 않은 파일을 지우지 못했습니다. "
                   "이 파일의 내용은 일부만 들어 있습니다.\n\n파일: ");

QString appName()
{
    return QString::fromUtf16(platform::AppTitle);
}

// The local files a drag carries, or nothing when it carries anything else.
QStringList droppedFiles(const QMimeData* data)
{
    QStringList files;
    if (!data || !data->hasUrls())
        return files;
    const auto urls = data->urls();
    for (const QUrl& url : urls) {
        if (!url.isLocalFile())
            return {};
        files.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    return files;
}

} // namespace

frmMain::frmMain(const platform::Services& services, VersionCheck versionCheck, QWidget* parent)
    : QWidget(parent), m_services(services)
{
    setObjectName(QStringLiteral("frmMain"));
    setAcceptDrops(true);

    m_option1[0] = new QRadioButton(QStringLiteral("Tamo2계열"), this);
    m_option1[1] = new QRadioButton(QStringLiteral("DES(Tamo3계열)"), this);
    m_label1 = new QLabel(QStringLiteral("(닷넷2.0 필요)"), this);
    m_txtKey = new QLineEdit(this);
    m_lblState = new QLabel(QStringLiteral("처리중입니다..."), this);
    m_lblHelp = new QLabel(QStringLiteral("Log파일들을 드래그해서 이폼에 올려놓으세요.(멀티파일 지원함)"), this);
    m_progressBar1[0] = new QProgressBar(this);
    m_progressBar1[1] = new QProgressBar(this);

    m_option1[0]->setObjectName(QStringLiteral("Option1_0"));
    m_option1[1]->setObjectName(QStringLiteral("Option1_1"));
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_txtKey->setObjectName(QStringLiteral("txtKey"));
    m_lblState->setObjectName(QStringLiteral("lblState"));
    m_lblHelp->setObjectName(QStringLiteral("lblHelp"));
    m_progressBar1[0]->setObjectName(QStringLiteral("ProgressBar1_0"));
    m_progressBar1[1]->setObjectName(QStringLiteral("ProgressBar1_1"));
    m_progressBar1[0]->setRange(0, 100);
    m_progressBar1[0]->setValue(0);
    m_progressBar1[1]->setRange(0, 100);
    m_progressBar1[1]->setValue(0);
    m_txtKey->setAccessibleName(TxtKeyAccessibleName);
    m_option1[0]->setAccessibleDescription(Option0Description);
    m_option1[1]->setAccessibleDescription(Option1Description);

    auto* group = new QButtonGroup(this);
    group->addButton(m_option1[0], 0);
    group->addButton(m_option1[1], 1);

    auto* layout = new QGridLayout(this);
    layout->addWidget(m_option1[0], 0, 0);
    layout->addWidget(m_option1[1], 0, 1);
    layout->addWidget(m_label1, 0, 2);
    layout->addWidget(m_txtKey, 0, 3);
    layout->addWidget(m_lblHelp, 1, 0, 1, 4, Qt::AlignCenter);
    layout->addWidget(m_lblState, 2, 0, 1, 4, Qt::AlignCenter);
    layout->addWidget(m_progressBar1[0], 3, 0, 1, 4);
    layout->addWidget(m_progressBar1[1], 4, 0, 1, 4);
    layout->setRowStretch(1, 1);
    resize(520, 200);

    // Idle look from the start.
    m_lblState->setVisible(false);
    m_progressBar1[0]->setVisible(false);
    m_progressBar1[1]->setVisible(false);

    // Form_Load
    const platform::Version version = platform::ownVersion();
    setWindowTitle(QStringLiteral("ZT SQL 로그 디코더") + QStringLiteral(" v.") + QString::number(version.major) +
                   u'.' + QString::number(version.minor) + u'.' + QString::number(version.revision));

    connect(group, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            Option1_Click(id);
    });
    connect(m_txtKey, &QLineEdit::textChanged, this, [this] { txtKey_Change(); });
    // A file list dropped or pasted on the key box is a drop on the window, never text typed into the key.
    m_txtKey->installEventFilter(this);
    // The keyboard's roads to a drop, for whoever cannot drag.
    new QShortcut(QKeySequence::Open, this, this, &frmMain::openFiles);
    new QShortcut(QKeySequence::Paste, this, this, &frmMain::pasteFiles);

    // A stored index other than 0 or 1 (edited by hand) selects the first mode instead of failing the load.
    bool ok = false;
    const int index = m_services.settings->read(appName(), SettingsSection, KeyOption1Index, QStringLiteral("0"))
                          .trimmed()
                          .toInt(&ok);
    QRadioButton* selected = m_option1[ok && index == 1 ? 1 : 0];
    selected->setChecked(true);
    // The first focus on the other button would let Space switch the mode by accident.
    selected->setFocus();
    m_txtKey->setText(m_services.settings->read(appName(), SettingsSection, KeyDesKey, QString()));

    if (versionCheck)
        versionCheck(ExternalDecoder, m_services.app.dir, QString(), {ExternalDecoder});
}

frmMain::~frmMain() = default;

int frmMain::modeIndex() const
{
    return m_option1[1]->isChecked() ? 1 : 0;
}

void frmMain::Option1_Click(int index)
{
    if (!isVisible())
        return;
    m_services.settings->write(appName(), SettingsSection, KeyOption1Index, QString::number(index));
}

void frmMain::txtKey_Change()
{
    if (!isVisible())
        return;
    m_services.settings->write(appName(), SettingsSection, KeyDesKey, m_txtKey->text());
}

QStringList frmMain::acceptableFiles(const QMimeData* mime) const
{
    // One drop at a time: a drop arriving while a batch lets messages through waits for nobody.
    if (m_busy)
        return {};
    return droppedFiles(mime);
}

void frmMain::dragEnterEvent(QDragEnterEvent* event)
{
    if (acceptableFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void frmMain::dragMoveEvent(QDragMoveEvent* event)
{
    if (acceptableFiles(event->mimeData()).isEmpty())
        event->ignore();
    else
        event->acceptProposedAction();
}

void frmMain::dropEvent(QDropEvent* event)
{
    const QStringList files = acceptableFiles(event->mimeData());
    if (files.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    OLEDragDrop(files);
}

void frmMain::openFiles()
{
    if (m_busy)
        return;
    const QString start = m_services.settings->read(appName(), SettingsSection, KeyLastOpenFolder, QString());
    QStringList files = m_services.fileDialog->chooseFilesToOpen(start, OpenFilters);
    if (files.isEmpty())
        return;
    m_services.settings->write(appName(), SettingsSection, KeyLastOpenFolder,
                               QDir::toNativeSeparators(QFileInfo(files.first()).absolutePath()));
    for (QString& file : files)
        file = QDir::toNativeSeparators(file);
    OLEDragDrop(files);
}

void frmMain::pasteFiles()
{
    const QStringList files = acceptableFiles(QGuiApplication::clipboard()->mimeData());
    if (!files.isEmpty())
        OLEDragDrop(files);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    // The key box takes plain text drops and pastes as any text box does; file lists go to the window.
    if (watched == m_txtKey) {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->matches(QKeySequence::Paste) &&
                !droppedFiles(QGuiApplication::clipboard()->mimeData()).isEmpty()) {
                pasteFiles();
                return true;
            }
            break;
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop: {
            auto* drag = static_cast<QDropEvent*>(event);
            if (drag->mimeData() && drag->mimeData()->hasUrls()) {
                if (event->type() == QEvent::Drop)
                    dropEvent(drag);
                else if (event->type() == QEvent::DragEnter)
                    dragEnterEvent(static_cast<QDragEnterEvent*>(event));
                else
                    dragMoveEvent(static_cast<QDragMoveEvent*>(event));
                return true;
            }
            break;
        }
        default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmMain::closeEvent(QCloseEvent* event)
{
    // Closing now would pull the window from under the running batch: the batch ends at once and closes it.
    if (m_busy) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void frmMain::OLEDragDrop(const QStringList& paths)
{
    if (paths.isEmpty())
        return;

    const bool externalMode = modeIndex() == 1;
    if (externalMode) {
        if (m_txtKey->text().isEmpty()) {
            m_services.messageBox->show(QStringLiteral("des암호화 키를 입력해 주세요."));
            m_txtKey->setFocus();
            return;
        }
        if (!QFileInfo(m_services.app.filePath(ExternalDecoder)).isFile()) {
            m_services.messageBox->show(QStringLiteral("Palvex.exe 파일을 찾을 수 없습니다."));
            return;
        }
        if (const auto refused = modAutoUpdateV1_Download::CheckInstalled(m_services.app.filePath(ExternalDecoder))) {
            m_services.messageBox->show(modAutoUpdateV1_Download::NotRunText(ExternalDecoder, *refused));
            return;
        }
    }

    m_busy = true;
    m_services.waitCursor->set();
    m_progressBar1[1]->setMaximum(static_cast<int>(paths.size()));
    m_progressBar1[0]->setValue(0);
    m_progressBar1[1]->setValue(0);
    SetBusy(true);

    for (const QString& path : paths) {
        if (m_closeRequested)
            break;
        if (externalMode)
            RunExternalDecoder(path);
        else
            Decrypt(path);
        m_progressBar1[1]->setValue(m_progressBar1[1]->value() + 1);
    }

    m_services.waitCursor->restore();
    if (!m_closeRequested)
        SetBusy(false);
    m_busy = false;
    // The window goes only now, after the batch let go of it; closing it ends the program.
    if (m_closeRequested)
        close();
}

void frmMain::Decrypt(const QString& path)
{
    m_progressBar1[0]->setRange(0, 100);
    m_progressBar1[0]->setValue(0);
    // Each new percent lets pending messages through, so the window repaints and a close is heard.
    const auto progress = [this](int percent) {
        m_progressBar1[0]->setValue(percent);
        QCoreApplication::processEvents();
    };
    const auto stopRequested = [this] { return m_closeRequested; };
    const QString input = QDir::fromNativeSeparators(path);
    decoder::UnremovedFile unremoved;
    QElapsedTimer clock;
    clock.start();
    const platform::VbError error = decoder::DecodeFile(input, progress, stopRequested, &unremoved).error();
    logDecoded(path, error, clock.elapsed());
    // A stop is the user's own doing and needs no report; a failure does.
    if (error.isError() && error.number() != platform::vberr::UserInterrupt)
        m_services.messageBox->show(platform::errorReportText(error, QStringLiteral("Decrypt"),
                                                              platform::ReportOwner::Form, QStringLiteral("frmMain")));
    // A half output left behind would pass for a whole one.
    if (!unremoved.path.isEmpty())
        m_services.messageBox->show(UnfinishedOutputKept + QDir::toNativeSeparators(unremoved.path) +
                                    QStringLiteral("\n이유: ") + unremoved.reason);
}

void frmMain::RunExternalDecoder(const QString& path)
{
    const bool started =
        platform::startDetached(m_services.app.filePath(ExternalDecoder), {path, ExternalDecoderPassPhrase}, QString(),
                                platform::WindowShow::Normal);
    // The key and the pass phrase stay out of the log.
    qCInfo(platform::lcDecode).noquote() << path << "(DES," << QFileInfo(path).size() << "bytes):" << ExternalDecoder
                                         << (started ? "started" : "could not be started");
}

void frmMain::SetBusy(bool flag)
{
    m_lblState->setVisible(flag);
    QCoreApplication::processEvents();
    m_lblHelp->setVisible(!flag);
    QCoreApplication::processEvents();
    m_progressBar1[0]->setVisible(flag);
    m_progressBar1[1]->setVisible(flag);
}
