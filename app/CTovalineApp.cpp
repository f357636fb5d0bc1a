#include "CTovalineApp.h"

#include "ReportActions.h"

#include "CDiscReportView.h"
#include "CLoadProgressDlg.h"
#include "CMainFrame.h"
#include "CSplashDlg.h"
#include "CStepProgressDlg.h"
#include "CTovalineDoc.h"
#include "QtPlatform.h"
#include "ScanSettings.h"

#include "DriveMap.h"
#include "FileSystem.h"
#include "MessagePump.h"
#include "Scan.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QAbstractButton>
#include <QMessageBox>
#include <QFileInfo>
#include <QSettings>

namespace {

const QString kRecentGroup = QStringLiteral("Recent File List");
const QString kCaption = QStringLiteral("Tovaline");

} // namespace

// ---------------------------------------------------------------------------------
// CRecentFileList

void CRecentFileList::Add(const QString& path)
{
    if (path.isEmpty())
        return;
    const QString full = QFileInfo(path).absoluteFilePath();
    m_files.removeAll(full);
    m_files.prepend(full);
    while (m_files.size() > kSize)
        m_files.removeLast();
}

void CRecentFileList::Remove(const QString& path)
{
    m_files.removeAll(path);
    m_files.removeAll(QFileInfo(path).absoluteFilePath());
}

void CRecentFileList::Read(QSettings& settings)
{
    m_files.clear();
    settings.beginGroup(kRecentGroup);
    for (int i = 1; i <= kSize; ++i) {
        const QString f = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!f.isEmpty() && !m_files.contains(f))
            m_files.append(f);
    }
    settings.endGroup();
}

void CRecentFileList::Write(QSettings& settings) const
{
    settings.beginGroup(kRecentGroup);
    for (int i = 1; i <= kSize; ++i) {
        const QString key = QStringLiteral("File%1").arg(i);
        if (i <= m_files.size())
            settings.setValue(key, m_files[i - 1]);
        else
            settings.remove(key);
    }
    settings.endGroup();
    settings.sync();
}

// ---------------------------------------------------------------------------------
// CTovalineApp

CTovalineApp::CTovalineApp() : CTovalineApp(Options{}) {}

CTovalineApp::CTovalineApp(Options options) : m_options(std::move(options)) {}

CTovalineApp::~CTovalineApp()
{
    // The views let go of the document before it goes.
    m_pFrame.reset();
    m_pDoc.reset();
}

std::unique_ptr<QSettings> CTovalineApp::OpenSettings() const
{
    if (!m_options.strSettingsFile.isEmpty())
        return std::make_unique<QSettings>(m_options.strSettingsFile, QSettings::IniFormat);
    return std::make_unique<QSettings>(QString::fromLatin1(kSettingsOrganization),
                                       QString::fromLatin1(kSettingsApplication));
}

void CTovalineApp::ShowMessage(const QString& caption, const QString& text)
{
    tvl::IMessageSink& sink = m_options.pMessages ? *m_options.pMessages : *m_pMessageBoxes;
    sink.ShowMessage(caption.toStdString(), text.toStdString(), tvl::MessageIcon::Error);
}

bool CTovalineApp::InitInstance(const QStringList& args)
{
    m_pMessageBoxes = std::make_unique<QtMessageSink>();
    {
        auto settings = OpenSettings();
        m_recent.Read(*settings);
    }

    if (m_options.bShowSplash) {
        CSplashDlg splash;
        splash.exec();
    }

    if (args.size() > 1) {
        ShowMessage(kCaption, QStringLiteral("Usage: tovaline [report file | folder]\n\n"
                                             "Without an argument a new report is created; with "
                                             "the name of a report file (.tvl) that report is opened; "
                                             "with a folder a new report of that folder is created."));
        return false;
    }

    std::string error;
    m_pDrives = std::make_unique<tvl::DriveMap>(tvl::DriveMap::FromEnvironment(&error));
    if (!error.empty()) {
        ShowMessage(kCaption, QStringLiteral("The drive map in TOVALINE_DRIVES is not valid:\n%1")
                                  .arg(QString::fromStdString(error)));
        return false;
    }

    m_pEventPump = std::make_unique<QtEventPump>();
    m_pPump = std::make_unique<tvl::MessagePump>(tvl::SystemClock(), m_pEventPump.get());
    m_pFrame = std::make_unique<CMainFrame>();
    m_pFrame->SetRecentFiles(m_recent.Files());
    tvl::IMessageSink& messages = m_options.pMessages ? *m_options.pMessages : *m_pMessageBoxes;
    m_pEnv.reset(new tvl::ScanEnvironment{tvl::RealFileSystem(), *m_pDrives, m_pFrame->StepProgress(), messages,
                                          *m_pPump});
    m_pDoc = std::make_unique<CTovalineDoc>(*m_pEnv, m_pFrame->LoadProgress());
    {
        auto settings = OpenSettings();
        m_pDoc->SetScanOptions(ReadScanOptions(*settings));
    }
    connect(m_pDoc.get(), &CTovalineDoc::scanOptionsChosen, this, [this](const tvl::ScanOptions& options) {
        auto settings = OpenSettings();
        WriteScanOptions(*settings, options);
    });
    m_pFrame->SetDocument(m_pDoc.get());
    {
        // The treemap is shown unless the user hid it last time.
        auto settings = OpenSettings();
        m_pFrame->m_actTreemap->setChecked(settings->value(QStringLiteral("View/Treemap"), true).toBool());
    }
    connect(m_pFrame->m_actTreemap, &QAction::toggled, this, [this](bool bOn) {
        auto settings = OpenSettings();
        settings->setValue(QStringLiteral("View/Treemap"), bOn);
    });
    {
        auto settings = OpenSettings();
        m_pFrame->m_actUnits->setChecked(settings->value(QStringLiteral("View/SizesInUnits"), false).toBool());
    }
    connect(m_pFrame->m_actUnits, &QAction::toggled, this, [this](bool bOn) {
        auto settings = OpenSettings();
        settings->setValue(QStringLiteral("View/SizesInUnits"), bOn);
    });
    {
        // The folder view's sort, as the user left it.
        auto settings = OpenSettings();
        tvl::FolderSort sort;
        sort.nColumn = settings->value(QStringLiteral("View/SortColumn"), -1).toInt();
        sort.bDescending = settings->value(QStringLiteral("View/SortDescending"), true).toBool();
        m_pFrame->m_pDiscView->SetSort(sort);
    }
    {
        // The folder view's columns the user hid.
        auto settings = OpenSettings();
        m_pFrame->m_pDiscView->SetHiddenColumns(settings->value(QStringLiteral("View/HiddenColumns")).toStringList());
    }
    connect(m_pFrame->m_pDiscView, &CDiscReportView::hiddenColumnsChanged, this, [this](const QStringList& keys) {
        auto settings = OpenSettings();
        settings->setValue(QStringLiteral("View/HiddenColumns"), keys);
    });
    connect(m_pFrame->m_pDiscView, &CDiscReportView::sortChanged, this, [this](const tvl::FolderSort& sort) {
        auto settings = OpenSettings();
        settings->setValue(QStringLiteral("View/SortColumn"), sort.nColumn);
        settings->setValue(QStringLiteral("View/SortDescending"), sort.bDescending);
    });

    CMainFrame* frame = m_pFrame.get();
    connect(frame->m_actNew, &QAction::triggered, this, &CTovalineApp::OnFileNew);
    connect(frame->m_actOpen, &QAction::triggered, this, &CTovalineApp::OnFileOpen);
    connect(frame->m_actSave, &QAction::triggered, this, &CTovalineApp::OnFileSave);
    connect(frame->m_actSaveAs, &QAction::triggered, this, &CTovalineApp::OnFileSaveAs);
    connect(frame, &CMainFrame::recentFileTriggered, this, &CTovalineApp::OnOpenRecentFile);
    connect(frame->m_actCompare, &QAction::triggered, this, &CTovalineApp::OnFileCompare);
    connect(frame->m_actNewFolder, &QAction::triggered, this, &CTovalineApp::OnFileNewFolder);
    m_pDoc->m_chooseFolder = [this](QWidget* parent) { return ChooseFolder(parent); };
    m_pActions = new CReportActions(*frame, *m_pDoc, m_options.actionHooks);
    frame->m_queryClose = [this] { return SaveModified(); };

    if (args.isEmpty()) {
        m_pDoc->SetPathName(QString());
        const bool ok = m_options.newDocument ? m_options.newDocument(*m_pDoc) : m_pDoc->OnNewDocument();
        if (!ok)
            return false;
    } else if (QFileInfo(args.front()).isDir()) {
        // "tovaline DIR": a new report of that folder.
        m_pDoc->SetPathName(QString());
        const QByteArray dir = QFile::encodeName(args.front());
        const char letter = MapFolder(std::string(dir.constData(), static_cast<std::size_t>(dir.size())));
        if (!letter || !m_pDoc->NewReportOfFolder(letter))
            return false;
    } else if (!OpenDocumentFile(args.front())) {
        return false;
    }

    // From now on messages and dialogs belong to the main window.
    m_pMessageBoxes->SetOwner(frame);
    m_pDoc->SetMainWindow(frame);
    frame->show();
    return true;
}

void CTovalineApp::ExitInstance()
{
    auto settings = OpenSettings();
    m_recent.Write(*settings);
}

void CTovalineApp::AddToRecentFileList(const QString& path)
{
    m_recent.Add(path);
    m_pFrame->SetRecentFiles(m_recent.Files());
    auto settings = OpenSettings();
    m_recent.Write(*settings);
}

void CTovalineApp::RemoveFromRecentFileList(const QString& path)
{
    m_recent.Remove(path);
    m_pFrame->SetRecentFiles(m_recent.Files());
    auto settings = OpenSettings();
    m_recent.Write(*settings);
}

bool CTovalineApp::SaveModified()
{
    if (!m_pDoc || !m_pDoc->NeedsSave())
        return true;
    // A new scan is asked about like a changed report: it may have taken an hour.
    const QString text =
        m_pDoc->IsModified()
            ? QStringLiteral("The report \"%1\" was changed. Save the changes?").arg(m_pDoc->GetTitle())
            : QStringLiteral("The new report has not been saved. Save it?");
    int answer = QMessageBox::Cancel;
    if (m_options.saveQuestion) {
        answer = m_options.saveQuestion(m_pFrame.get(), text);
    } else {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Tovaline"), text,
                        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, m_pFrame.get());
        box.setDefaultButton(QMessageBox::Save);
        // Alt+S, Alt+D and Alt+C answer it from the keyboard.
        box.button(QMessageBox::Save)->setText(QStringLiteral("&Save"));
        box.button(QMessageBox::Discard)->setText(QStringLiteral("&Discard"));
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("&Cancel"));
        answer = box.exec();
    }
    if (answer == QMessageBox::Discard)
        return true;
    return answer == QMessageBox::Save && OnFileSave();
}

void CTovalineApp::OnFileNew()
{
    if (!m_pDoc || m_pDoc->IsBusy() || !SaveModified())
        return;
    if (m_options.newDocument)
        m_options.newDocument(*m_pDoc);
    else
        m_pDoc->OnNewDocument();
}

void CTovalineApp::OnFileOpen()
{
    if (!m_pDoc || m_pDoc->IsBusy() || !SaveModified())
        return;
    QString path;
    if (m_options.openFileName) {
        path = m_options.openFileName(m_pFrame.get());
    } else {
        path = QFileDialog::getOpenFileName(m_pFrame.get(), QStringLiteral("Open"), QString(),
                                            QString::fromLatin1(kReportFilter) + QStringLiteral(";;") +
                                                QString::fromLatin1(kNcduFilter) + QStringLiteral(";;All files (*)"));
    }
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

char CTovalineApp::MapFolder(const std::string& dir)
{
    const char letter = m_pDrives->MapFolder(dir);
    if (!letter)
        ShowMessage(QStringLiteral("Create report"),
                    QStringLiteral("Every drive letter from C to Z is taken, so the folder %1 cannot be "
                                   "scanned as a drive of its own.")
                        .arg(QFile::decodeName(dir.c_str())));
    return letter;
}

char CTovalineApp::ChooseFolder(QWidget* parent)
{
    const QString path = m_options.folderName
                             ? m_options.folderName(parent)
                             : QFileDialog::getExistingDirectory(parent, QStringLiteral("Create report of a folder"),
                                                                 QDir::homePath());
    if (path.isEmpty())
        return 0;
    // The folder's name is turned into bytes once, here; below this line it stays bytes.
    const QByteArray dir = QFile::encodeName(path);
    return MapFolder(std::string(dir.constData(), static_cast<std::size_t>(dir.size())));
}

void CTovalineApp::OnFileNewFolder()
{
    if (!m_pDoc || m_pDoc->IsBusy() || !SaveModified())
        return;
    if (const char letter = ChooseFolder(m_pFrame.get()))
        m_pDoc->NewReportOfFolder(letter);
}

void CTovalineApp::OnFileCompare()
{
    if (!m_pDoc || m_pDoc->IsBusy())
        return;
    QString path;
    if (m_options.compareFileName) {
        path = m_options.compareFileName(m_pFrame.get());
    } else {
        path = QFileDialog::getOpenFileName(m_pFrame.get(), QStringLiteral("Compare with report"), QString(),
                                            QString::fromLatin1(kReportFilter) + QStringLiteral(";;All files (*)"));
    }
    // The document tells the user when the file cannot be read.
    if (!path.isEmpty())
        m_pDoc->CompareWith(path);
}

bool CTovalineApp::OpenDocumentFile(const QString& path)
{
    if (!m_pDoc || m_pDoc->IsBusy())
        return false;
    // The document tells the user why a file cannot be opened.
    if (!m_pDoc->OnOpenDocument(path))
        return false;
    AddToRecentFileList(path);
    return true;
}

void CTovalineApp::OnOpenRecentFile(const QString& path)
{
    if (!SaveModified())
        return;
    // A recent file that cannot be opened any more leaves the list.
    if (!OpenDocumentFile(path) && m_pDoc && !m_pDoc->IsBusy())
        RemoveFromRecentFileList(path);
}

bool CTovalineApp::OnFileSave()
{
    if (!m_pDoc || m_pDoc->IsBusy())
        return false;
    const QString path = m_pDoc->GetPathName();
    if (path.isEmpty())
        return OnFileSaveAs();
    if (!m_pDoc->OnSaveDocument(path))
        return false;
    AddToRecentFileList(path);
    return true;
}

bool CTovalineApp::OnFileSaveAs()
{
    if (!m_pDoc || m_pDoc->IsBusy())
        return false;
    QString proposed = m_pDoc->GetPathName();
    if (proposed.isEmpty())
        proposed = m_pDoc->GetTitle() + QString::fromLatin1(kReportExtension);
    QString path;
    if (m_options.saveFileName) {
        path = m_options.saveFileName(m_pFrame.get(), proposed);
    } else {
        QFileDialog dlg(m_pFrame.get(), QStringLiteral("Save as"), proposed,
                        QString::fromLatin1(kReportFilter) + QStringLiteral(";;All files (*)"));
        dlg.setAcceptMode(QFileDialog::AcceptSave);
        dlg.setDefaultSuffix(QString::fromLatin1(kReportExtension).mid(1));
        if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty())
            path = dlg.selectedFiles().front();
    }
    if (path.isEmpty())
        return false;
    if (!m_pDoc->OnSaveDocument(path))
        return false;
    AddToRecentFileList(path);
    return true;
}
