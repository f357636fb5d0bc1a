#include "CTovalineDoc.h"

#include "FactsCheck.h"
#include "NumberFormat.h"
#include "ReportInfo.h"

#include "CCreateReportDlg.h"
#include "ReportCompare.h"
#include "View.h"

#include <QFile>
#include <QFileInfo>
#include <QMessageBox>

#include <algorithm>
#include <cstring>
#include <utility>

CTovalineDoc::CTovalineDoc(tvl::ScanEnvironment& env, tvl::ILoadProgress& loadProgress, QObject* parent)
    : QObject(parent), tvl::ReportDocument(env), m_loadProgress(loadProgress)
{
    SetLoadProgress(&m_loadProgress);
}

CTovalineDoc::~CTovalineDoc()
{
    m_pComparison.reset();
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
    // A new report is shown in the measure of its scan.
    m_wantedKind.reset();
    const std::vector<CView*> views = m_views;
    for (CView* v : views)
        v->OnInitialUpdate();
    emit measureChanged();
}

void CTovalineDoc::SetWantedKind(std::optional<tvl::SizeKind> kind)
{
    if (kind == m_wantedKind)
        return;
    m_wantedKind = kind;
    UpdateAllViews(nullptr, kHintMeasure);
    emit measureChanged();
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

void CTovalineDoc::EmptyAfterFailure()
{
    FreeReports();
    m_bRanking = false;
    m_rankingAll.clear();
    m_bUnsavedScan = false;
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

    StopComparing();
    CCreateReportDlg dlg(m_env.drives, m_pMainWnd.data());
    dlg.SetScanOptions(m_scanOptions);
    if (m_chooseFolder)
        dlg.SetFolderChooser(m_chooseFolder);
    dlg.CheckDrives(std::exchange(m_strCheckDrives, std::string()));
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
    // than drives or a combined ranking of a report the user was told could not be
    // created. So does a scan stopped because the main window is closing.
    if (m_bDiscardOnStop)
        ok = false;
    if (!ok)
        EmptyAfterFailure();
    emit busyChanged(false);
    emit titleChanged(m_strTitle); // the incomplete mark may have changed
    SendInitialUpdate();
    emit titleChanged(m_strTitle); // a new report is not modified
    if (ok) {
        const long long unreadable = tvl::UnreadableFolders(*this);
        if (unreadable > 0)
            emit statusMessage(QStringLiteral("%1 folders could not be read; they are in the report without content.")
                                   .arg(QString::fromStdString(tvl::FormatSize(unreadable))));
    }
    return ok;
}

bool CTovalineDoc::NewReportOfFolder(char cDrive)
{
    if (IsBusy())
        return false;
    m_strCheckDrives = std::string(1, cDrive);
    return OnNewDocument();
}

bool CTovalineDoc::OnOpenDocument(const QString& pathName)
{
    if (IsBusy())
        return false;
    // The previous report goes first, and the views let go of it before anything can
    // repaint them (the message box of a failed read runs an event loop).
    const bool wasIncomplete = IsIncomplete();
    StopComparing();
    FreeReports();
    m_rankingAll.clear();
    if (wasIncomplete)
        emit titleChanged(m_strTitle);
    SendInitialUpdate();
    // Nor does the previous report's name stay on the empty document while the file is
    // read and a failure is reported.
    SetPathName(QString());
    const QByteArray path = QFile::encodeName(pathName);
    const bool ok = tvl::ReportDocument::OnOpenDocument(std::string(path.constData(), static_cast<std::size_t>(path.size())));
    // A file that could not be read completely leaves an empty, unnamed document, not
    // a part of the report and not the previous report's name: Save then asks for a
    // name instead of writing the empty report over the file opened before.
    // An imported ncdu export is a report without a file of its own yet: Save asks for
    // a name (the export's, less ".json" or ".json.gz") rather than writing a report
    // over the export.
    if (!ok)
        EmptyAfterFailure();
    else if (m_bImported) {
        QString name = QFileInfo(pathName).fileName();
        for (const char* suffix : {".json.gz", ".json", ".gz"})
            if (name.endsWith(QLatin1String(suffix), Qt::CaseInsensitive) && name.size() > int(std::strlen(suffix))) {
                name.chop(int(std::strlen(suffix)));
                break;
            }
        SetTitle(name);
    } else
        SetPathName(pathName);
    SendInitialUpdate();
    emit titleChanged(m_strTitle); // an opened report is not modified
    if (ok && !m_strOpenWarning.empty())
        emit statusMessage(QString::fromStdString(m_strOpenWarning));
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
    if (ok) {
        SetPathName(pathName);
        emit titleChanged(m_strTitle);
    }
    return ok;
}

bool CTovalineDoc::AskQuestion(const QString& caption, const QString& text)
{
    if (m_askQuestion)
        return m_askQuestion(caption, text);
    return QMessageBox::question(m_pMainWnd.data(), caption, text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void CTovalineDoc::ReportEdited()
{
    // A running comparison follows the edit: it is made again against the same
    // baseline. Only when that cannot be done does it end, and the user is told.
    if (m_pBaseline && m_pComparison) {
        std::unique_ptr<tvl::ReportComparison> comparison;
        try {
            comparison = std::make_unique<tvl::ReportComparison>(tvl::CompareReports(
                tvl::ReportSide{m_pBaseline->m_pDriveReports, m_pBaseline->m_bRanking, m_pBaseline->m_rankingAll},
                tvl::ReportSide{m_pDriveReports, m_bRanking, m_rankingAll}));
        } catch (const std::bad_alloc&) {
        }
        if (comparison) {
            m_pComparison = std::move(comparison);
            UpdateAllViews(nullptr, kHintComparison);
            emit comparisonChanged();
        } else {
            StopComparing();
            emit statusMessage(QStringLiteral("The comparison ended: there was not enough memory to compare the "
                                              "changed report again."));
        }
    }
    emit titleChanged(m_strTitle);
    UpdateAllViews(nullptr, kHintAll);
}

bool CTovalineDoc::CompareWith(const QString& pathName)
{
    if (IsBusy())
        return false;
    // The baseline is read aside: a file that cannot be read changes nothing.
    auto baseline = std::make_unique<tvl::ReportDocument>(m_env);
    baseline->SetLoadProgress(&m_loadProgress);
    const QByteArray path = QFile::encodeName(pathName);
    if (!baseline->OnOpenDocument(std::string(path.constData(), static_cast<std::size_t>(path.size()))))
        return false;
    // Numbers measured by different rules do not compare: the user decides.
    const tvl::ComparabilityCheck check =
        tvl::CheckComparable(baseline->m_pDriveReports, baseline->m_facts ? &*baseline->m_facts : nullptr,
                             m_pDriveReports, m_facts ? &*m_facts : nullptr);
    if (!check.differences.empty() &&
        !AskQuestion(QStringLiteral("Compare with report"),
                     QStringLiteral("The reports were measured differently (%1); their numbers do not compare. "
                                    "Compare them anyway?")
                         .arg(QString::fromStdString(check.DifferencesText()))))
        return false;
    if (!check.strUnknownDrives.empty())
        emit statusMessage(QStringLiteral("The scan options of a report are not known; compared as they are."));
    else if (check.nSecondsBetween)
        emit statusMessage(QStringLiteral("%1 between the two scans.")
                               .arg(QString::fromStdString(tvl::FormatDuration(*check.nSecondsBetween))));
    auto comparison = std::make_unique<tvl::ReportComparison>(tvl::CompareReports(
        tvl::ReportSide{baseline->m_pDriveReports, baseline->m_bRanking, baseline->m_rankingAll},
        tvl::ReportSide{m_pDriveReports, m_bRanking, m_rankingAll}));
    // The views let go of the previous comparison before it goes.
    StopComparing();
    m_pBaseline = std::move(baseline);
    m_pComparison = std::move(comparison);
    m_strBaselinePath = pathName;
    UpdateAllViews(nullptr, kHintComparison);
    emit comparisonChanged();
    return true;
}

void CTovalineDoc::StopComparing()
{
    if (!m_pComparison && !m_pBaseline)
        return;
    // The views are told while the comparison still exists, then it goes.
    std::unique_ptr<tvl::ReportComparison> old = std::move(m_pComparison);
    m_strBaselinePath.clear();
    UpdateAllViews(nullptr, kHintComparison);
    old.reset();
    m_pBaseline.reset();
    emit comparisonChanged();
}
