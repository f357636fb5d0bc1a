#include "CTovalineDoc.h"

#include "CCreateReportDlg.h"
#include "View.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include <algorithm>

CTovalineDoc::CTovalineDoc(tvl::ScanEnvironment& env, tvl::ILoadProgress& loadProgress, QObject* parent)
    : QObject(parent), tvl::ReportDocument(env), m_loadProgress(loadProgress)
{
    SetLoadProgress(&m_loadProgress);
}

CTovalineDoc::~CTovalineDoc()
{
    // Views may outlive the document; they must not call back into it.
    const std::vector<CView*> views = m_views;
    m_views.clear();
    for (CView* v : views)
        v->SetDocument(nullptr);
}

void CTovalineDoc::AddView(CView* pView)
{
    if (pView && std::find(m_views.begin(), m_views.end(), pView) == m_views.end())
        m_views.push_back(pView);
}

void CTovalineDoc::RemoveView(CView* pView)
{
    m_views.erase(std::remove(m_views.begin(), m_views.end(), pView), m_views.end());
}

void CTovalineDoc::UpdateAllViews(CView* pSender, int lHint)
{
    // A view may react by changing the selection, which sends hint 1 again; work on a
    // copy so that views added or removed meanwhile do no harm.
    const std::vector<CView*> views = m_views;
    for (CView* v : views)
        if (v != pSender)
            v->OnUpdate(pSender, lHint);
}

void CTovalineDoc::SendInitialUpdate()
{
    const std::vector<CView*> views = m_views;
    for (CView* v : views)
        v->OnInitialUpdate();
}

void CTovalineDoc::SetTitle(const QString& title)
{
    if (title == m_strTitle)
        return;
    m_strTitle = title;
    emit titleChanged(m_strTitle);
}

void CTovalineDoc::SetPathName(const QString& path)
{
    m_strPathName = path;
    SetTitle(path.isEmpty() ? QStringLiteral("Report") : QFileInfo(path).fileName());
}

void CTovalineDoc::RequestStop()
{
    m_bDiscardOnStop = true;
    m_env.pump.RequestStop();
}

void CTovalineDoc::StopScan()
{
    if (IsBusy())
        m_env.pump.RequestStop();
}

bool CTovalineDoc::OnNewDocument()
{
    if (IsBusy())
        return false;

    CCreateReportDlg dlg(m_env.drives, m_pMainWnd.data());
    dlg.SetScanOptions(m_scanOptions);
    tvl::NewReportOptions options;
    options.strDrives.clear();
    if (dlg.exec() == QDialog::Accepted) {
        options.strDrives = dlg.m_strDrives;
        options.bRanking = dlg.m_bRanking;
        options.nRankingSize = dlg.m_nRankingSize;
        options.bStoreFileNames = dlg.m_bStoreFileNames;
        options.scan = dlg.m_scanOptions;
        m_scanOptions = dlg.m_scanOptions;
        emit scanOptionsChosen(m_scanOptions);
    }
    // Cancel (also after a refused "Start!") keeps the defaults and no drive: an
    // empty document.

    m_strPathName.clear();
    SetTitle(QStringLiteral("Report"));

    // The views let go of the previous report before the scan pumps events, so a
    // repaint during the scan never reaches released records.
    FreeReports();
    m_rankingAll.clear();
    SendInitialUpdate();

    m_bDiscardOnStop = false;
    emit busyChanged(true);
    bool ok = CreateReports(options);
    // A failed scan leaves no report behind: the views show an empty document rather
    // than drives of a report the user was told could not be created. So does a scan
    // stopped because the main window is closing.
    if (m_bDiscardOnStop)
        ok = false;
    if (!ok)
        FreeReports();
    emit busyChanged(false);
    emit titleChanged(m_strTitle); // the incomplete mark may have changed
    SendInitialUpdate();
    return ok;
}

bool CTovalineDoc::OnOpenDocument(const QString& pathName)
{
    if (IsBusy())
        return false;
    // The previous report goes first, and the views let go of it before anything can
    // repaint them (the message box of a failed read runs an event loop).
    const bool wasIncomplete = IsIncomplete();
    FreeReports();
    m_rankingAll.clear();
    if (wasIncomplete)
        emit titleChanged(m_strTitle);
    SendInitialUpdate();
    const QByteArray path = QFile::encodeName(pathName);
    const bool ok = tvl::ReportDocument::OnOpenDocument(std::string(path.constData(), static_cast<std::size_t>(path.size())));
    // A file that could not be read completely leaves an empty document, not a part
    // of the report.
    if (!ok)
        FreeReports();
    else
        SetPathName(pathName);
    SendInitialUpdate();
    return ok;
}

bool CTovalineDoc::OnSaveDocument(const QString& pathName)
{
    if (IsBusy())
        return false;
    if (IsIncomplete() && !AskQuestion(QStringLiteral("Save"), QString::fromLatin1(kQuestionSaveIncomplete)))
        return false;
    const QByteArray path = QFile::encodeName(pathName);
    const bool ok = tvl::ReportDocument::OnSaveDocument(std::string(path.constData(), static_cast<std::size_t>(path.size())));
    if (ok)
        SetPathName(pathName);
    return ok;
}

bool CTovalineDoc::AskQuestion(const QString& caption, const QString& text)
{
    if (m_askQuestion)
        return m_askQuestion(caption, text);
    return QMessageBox::question(m_pMainWnd.data(), caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}
