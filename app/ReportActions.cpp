#include "ReportActions.h"

#include "SizeMeasure.h"

#include "SizeText.h"

#include "CDiscReportView.h"
#include "CFileListView.h"
#include "CFolderListCtrl.h"
#include "CMainFrame.h"
#include "CRankView.h"
#include "CTovalineDoc.h"
#include "FolderListModel.h"
#include "NumberFormat.h"
#include "ReportEdit.h"
#include "Trash.h"

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <sys/stat.h>

namespace {

const QString kCaptionTrash = QStringLiteral("Move to trash");
const QString kCaptionRefresh = QStringLiteral("Refresh folder");
const QString kIncompleteRanking =
    QStringLiteral("Files were moved to the trash or folders read again: this ranking may miss files the report "
                   "never saw. \"Refresh all\" makes it whole again.");

int PosOf(const tvl::DriveReport& drive, const tvl::FolderRecord* rec)
{
    const auto& list = drive.Folders();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i] == rec)
            return static_cast<int>(i);
    return -1;
}

int PosOfPath(const tvl::DriveReport& drive, const std::string& path)
{
    const auto& list = drive.Folders();
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i]->strPath == path)
            return static_cast<int>(i);
    return -1;
}

int DriveIndex(const CTovalineDoc& doc, char cDrive)
{
    for (std::size_t i = 0; i < doc.m_pDriveReports.size(); ++i)
        if (doc.m_pDriveReports[i] && doc.m_pDriveReports[i]->cDrive == cDrive)
            return static_cast<int>(i);
    return -1;
}

QString Bytes(std::int64_t n)
{
    return QString::fromStdString(tvl::FormatSize(n)) + QStringLiteral(" bytes");
}

} // namespace

CReportActions::CReportActions(CMainFrame& frame, CTovalineDoc& doc, Hooks hooks)
    : QObject(&frame), m_frame(frame), m_doc(doc), m_hooks(std::move(hooks))
{
    m_actRefresh = new QAction(QStringLiteral("&Refresh folder"), this);
    m_actRefresh->setShortcut(QKeySequence(Qt::Key_F5));
    m_actRefresh->setStatusTip(QStringLiteral("Reads the selected folder again."));
    connect(m_actRefresh, &QAction::triggered, this, [this] {
        if (const tvl::FolderRecord* f = m_doc.m_pSelectedFolder)
            if (const tvl::DriveReport* d = m_doc.DriveOf(tvl::DriveOfPath(f->strPath)))
                Refresh(Target{d->cDrive, PosOf(*d, f), false, {}, f->nSpaceWithSubs});
    });
    m_actRefreshAll = new QAction(QStringLiteral("Refresh &all"), this);
    m_actRefreshAll->setStatusTip(QStringLiteral("Reads every drive of the report again."));
    connect(m_actRefreshAll, &QAction::triggered, this, &CReportActions::RefreshAll);
    m_actFind = new QAction(QStringLiteral("&Find..."), this);
    m_actFind->setShortcut(QKeySequence::Find);
    m_actFind->setStatusTip(QStringLiteral("Finds folders and files by name."));
    connect(m_actFind, &QAction::triggered, this, &CReportActions::ShowFind);
    QMenu* menu = new QMenu(QStringLiteral("&Actions"), &m_frame);
    menu->addAction(m_actFind);
    menu->addSeparator();
    menu->addAction(m_actRefresh);
    menu->addAction(m_actRefreshAll);
    const QList<QAction*> menus = m_frame.menuBar()->actions();
    m_frame.menuBar()->insertMenu(menus.size() > 1 ? menus.at(menus.size() - 1) : nullptr, menu);
    for (QAction* a : {m_actRefresh, m_actRefreshAll, m_actFind})
        m_frame.addAction(a);
    connect(&m_doc, &CTovalineDoc::busyChanged, this, [this](bool busy) {
        for (QAction* a : {m_actRefresh, m_actRefreshAll})
            a->setEnabled(!busy);
    });
    AttachMenus();
}

void CReportActions::AttachMenus()
{
    auto attach = [this](QAbstractItemView* list, Target (CReportActions::*targetOf)(int) const) {
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this, [this, list, targetOf](const QPoint& pos) {
            // The menu key acts on the current row, a click on the row under the pointer.
            const bool bKey = QGuiApplication::mouseButtons() == Qt::NoButton;
            const QModelIndex index = bKey ? list->currentIndex() : list->indexAt(pos);
            if (!index.isValid())
                return;
            const QPoint at = bKey ? list->visualRect(index).center() : pos;
            const Target t = (this->*targetOf)(index.row());
            if (!t.IsValid())
                return;
            QMenu* menu = BuildMenu(t, list);
            menu->setAttribute(Qt::WA_DeleteOnClose);
            menu->popup(list->viewport()->mapToGlobal(at));
        });
    };
    attach(m_frame.m_pDiscView->m_list, &CReportActions::FolderTarget);
    attach(m_frame.m_pFileView->List(), &CReportActions::FileTarget);
    attach(m_frame.m_pRankView->List(), &CReportActions::RankTarget);
}

CReportActions::Target CReportActions::FolderTarget(int row) const
{
    const tvl::FolderRecord* f = m_frame.m_pDiscView->Model()->FolderAt(row);
    const tvl::DriveReport* d = f ? m_doc.DriveOf(tvl::DriveOfPath(f->strPath)) : nullptr;
    if (!d)
        return {};
    return Target{d->cDrive, PosOf(*d, f), false, {}, f->nSpaceWithSubs};
}

CReportActions::Target CReportActions::FileTarget(int row) const
{
    const tvl::FolderRecord* f = m_doc.m_pSelectedFolder;
    const CFileListModel& model = m_frame.m_pFileView->Model();
    const tvl::DriveReport* d = f ? m_doc.DriveOf(tvl::DriveOfPath(f->strPath)) : nullptr;
    if (!d || row < 0 || row >= model.rowCount())
        return {};
    const tvl::FileEntry& e = model.EntryAt(row);
    // The report's edits go by the size the report counted; the list may show the other.
    const bool bShownOther = tvl::ShownKind(*d, m_doc.WantedKind()) != tvl::PrimaryKind(*d);
    return Target{d->cDrive, PosOf(*d, f), true, e.strName, bShownOther ? e.nOtherSize : e.nSize};
}

CReportActions::Target CReportActions::RankTarget(int row) const
{
    const int tab = m_frame.m_pRankView->Tabs()->currentIndex();
    const std::vector<tvl::RankEntry>* ranking = &m_doc.m_rankingAll;
    if (tab > 0 && tab - 1 < static_cast<int>(m_doc.m_pDriveReports.size()) && m_doc.m_pDriveReports[tab - 1])
        ranking = &m_doc.m_pDriveReports[tab - 1]->ranking;
    if (row < 0 || row >= static_cast<int>(ranking->size()))
        return {};
    const tvl::RankEntry& e = (*ranking)[static_cast<std::size_t>(row)];
    const tvl::DriveReport* d = m_doc.DriveOf(tvl::DriveOfPath(e.strLocation));
    const int pos = d ? PosOfPath(*d, e.strLocation) : -1;
    if (pos < 0)
        return {};
    return Target{d->cDrive, pos, true, e.strName, e.nSize};
}

std::optional<std::string> CReportActions::RealPath(const Target& t, QString* reason) const
{
    const tvl::DriveReport* d = m_doc.DriveOf(t.cDrive);
    const tvl::FolderRecord* f = d ? d->GetFolder(t.nPos) : nullptr;
    const tvl::DriveMap& drives = m_doc.Environment().drives;
    if (!f || !drives.IsMapped(t.cDrive)) {
        *reason = QStringLiteral("Drive %1: is not mapped on this computer.").arg(QChar::fromLatin1(t.cDrive));
        return std::nullopt;
    }
    // A report may come from anybody: a path with "." or ".." steps or a file name with
    // a '/' would lead outside the drive's directory.
    if (!tvl::DriveMap::IsRealFolderPath(f->strPath)) {
        *reason = QStringLiteral("The report path %1 cannot be a folder on disc (it has an empty, \".\" or "
                                 "\"..\" step); nothing is done with it.")
                      .arg(QFile::decodeName(f->strPath.c_str()));
        return std::nullopt;
    }
    if (t.bFile && !tvl::DriveMap::IsRealFileName(t.strName)) {
        *reason = QStringLiteral("The file name \"%1\" of the report cannot be a file on disc; nothing is done "
                                 "with it.")
                      .arg(DisplayPath(t.strName));
        return std::nullopt;
    }
    std::optional<std::string> real = t.bFile ? drives.RealFilePath(f->strPath, t.strName) : drives.RealPath(f->strPath);
    struct stat st {};
    if (!real || ::lstat(real->c_str(), &st) != 0) {
        *reason = QStringLiteral("%1 no longer exists on disc.").arg(real ? DisplayPath(*real) : QString());
        return std::nullopt;
    }
    return real;
}

QString CReportActions::DisplayPath(const std::string& realPath)
{
    return QFile::decodeName(QByteArray::fromStdString(realPath));
}

QUrl CReportActions::LocalFileUrl(const std::string& realPath)
{
    return QUrl::fromEncoded("file://" + QByteArray::fromStdString(realPath).toPercentEncoding("/"),
                             QUrl::StrictMode);
}

QMenu* CReportActions::BuildMenu(const Target& t, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    QString reason;
    const bool bReal = RealPath(t, &reason).has_value();
    auto add = [&](const QString& text, bool (CReportActions::*act)(const Target&)) {
        QAction* a = menu->addAction(text, this, [this, t, act] { (this->*act)(t); });
        a->setEnabled(bReal);
        return a;
    };
    menu->setDefaultAction(add(QStringLiteral("&Open"), &CReportActions::Open));
    add(QStringLiteral("Open containing &folder"), &CReportActions::OpenContainingFolder);
    add(QStringLiteral("&Copy path"), &CReportActions::CopyPath);
    menu->addSeparator();
    // The root of a drive is never offered.
    const tvl::DriveReport* d = m_doc.DriveOf(t.cDrive);
    const bool bRoot = !t.bFile && d && d->GetFolder(t.nPos) && !d->GetFolder(t.nPos)->pParent;
    add(QStringLiteral("Move to &trash"), &CReportActions::MoveToTrash)->setEnabled(bReal && !bRoot);
    menu->addSeparator();
    QAction* refresh = add(QStringLiteral("&Refresh folder"), &CReportActions::Refresh);
    refresh->setShortcut(m_actRefresh->shortcut());
    refresh->setEnabled(bReal && !m_doc.IsBusy());
    if (!bReal)
        Status(reason);
    return menu;
}

bool CReportActions::Open(const Target& t)
{
    QString reason;
    const std::optional<std::string> path = RealPath(t, &reason);
    if (!path) {
        Status(reason);
        return false;
    }
    return OpenUrl(LocalFileUrl(*path), QStringLiteral("No application could be found to open %1.").arg(DisplayPath(*path)),
                   QStringLiteral("Open"));
}

bool CReportActions::OpenUrl(const QUrl& url, const QString& failure, const QString& caption) const
{
    if (m_hooks.open ? m_hooks.open(url) : QDesktopServices::openUrl(url))
        return true;
    // The desktop found no application for it (only standard error would say so).
    Tell(failure, caption);
    return false;
}

bool CReportActions::Ask(const QString& caption, const QString& question)
{
    return m_hooks.confirm ? m_hooks.confirm(question)
                           : QMessageBox::question(&m_frame, caption, question, QMessageBox::Yes | QMessageBox::No,
                                                   QMessageBox::No) == QMessageBox::Yes;
}

bool CReportActions::OpenContainingFolder(const Target& t)
{
    QString reason;
    const std::optional<std::string> path = RealPath(t, &reason);
    if (!path) {
        Status(reason);
        return false;
    }
    const std::size_t slash = path->rfind('/');
    const std::string dir = slash == 0 || slash == std::string::npos ? std::string("/") : path->substr(0, slash);
    return OpenUrl(LocalFileUrl(dir),
                   QStringLiteral("No application could be found to show the folder %1.").arg(DisplayPath(dir)),
                   QStringLiteral("Open containing folder"));
}

bool CReportActions::CopyPath(const Target& t)
{
    QString reason;
    const std::optional<std::string> path = RealPath(t, &reason);
    if (!path) {
        Status(reason);
        return false;
    }
    // The clipboard holds text: the path as it is shown.
    QGuiApplication::clipboard()->setText(DisplayPath(*path));
    Status(QStringLiteral("Copied: %1").arg(DisplayPath(*path)));
    return true;
}

QString CReportActions::TrashQuestion(const QString& shownPath, bool bFolder, std::int64_t nSize)
{
    return QStringLiteral("Move the %1 \"%2\" (%3) to the trash?")
        .arg(bFolder ? QStringLiteral("folder") : QStringLiteral("file"), shownPath, Bytes(nSize));
}

bool CReportActions::MoveToTrash(const Target& t)
{
    QString reason;
    const std::optional<std::string> real = RealPath(t, &reason);
    if (!real || m_doc.IsBusy()) {
        Tell(reason.isEmpty() ? QStringLiteral("A report is being made.") : reason);
        return false;
    }
    const tvl::DriveReport* d = m_doc.DriveOf(t.cDrive);
    if (!t.bFile && !d->GetFolder(t.nPos)->pParent) {
        Tell(QStringLiteral("The root of a drive cannot be moved to the trash."));
        return false;
    }
    const QString path = DisplayPath(*real);
    const QString question = TrashQuestion(path, !t.bFile, t.nSize);
    if (!Ask(kCaptionTrash, question))
        return false;
    // The item on disc must still be the one the report shows: the user confirmed that.
    // Checked and moved on the path's own bytes.
    // A file is compared in the measure the report counted it in.
    using Measure = tvl::ExpectedItem::Measure;
    const Measure measure = !d->pFacts ? Measure::Either
                            : d->pFacts->options.bDiscUsage ? Measure::DiscUsage
                                                            : Measure::Length;
    const tvl::TrashResult moved = tvl::MoveToTrashIfUnchanged(*real, tvl::ExpectedItem{!t.bFile, t.nSize, measure});
    if (moved.bChanged) {
        Tell(QStringLiteral("%1 has changed on disc since the report was made. Nothing was moved; refresh its "
                            "folder first.")
                 .arg(path));
        return false;
    }
    if (!moved.bMoved) {
        Tell(QStringLiteral("%1 could not be moved to the trash: %2 Nothing was changed.")
                 .arg(path, QString::fromLocal8Bit(moved.strReason.c_str())));
        return false;
    }
    // The other measure of the file as it was moved, for a report that keeps both.
    const std::int64_t other = measure == Measure::DiscUsage ? moved.nLength : moved.nAllocated;
    const bool removed = t.bFile ? m_doc.RemoveFile(t.cDrive, t.nPos, t.strName, t.nSize, other)
                                 : m_doc.RemoveFolder(t.cDrive, t.nPos);
    if (!removed) // a file of a live listing the report never counted: read its folder again
        Refresh(Target{t.cDrive, t.nPos, false, {}, 0});
    Edited();
    Status(QStringLiteral("Moved to the trash: %1").arg(path));
    return true;
}

bool CReportActions::Refresh(const Target& t)
{
    QString reason;
    const std::optional<std::string> real = RealPath(Target{t.cDrive, t.nPos, false, {}, 0}, &reason);
    if (!real || m_doc.IsBusy()) {
        Tell(reason.isEmpty() ? QStringLiteral("A report is being made.") : reason, kCaptionRefresh);
        return false;
    }
    const QString path = DisplayPath(*real);
    // A scan records a folder on another file system without entering it; so does a refresh.
    struct stat here {}, above {};
    const std::size_t slash = real->rfind('/');
    const std::string parent = slash == 0 || slash == std::string::npos ? std::string("/") : real->substr(0, slash);
    if (t.nPos > 0 && ::stat(real->c_str(), &here) == 0 && ::stat(parent.c_str(), &above) == 0 &&
        here.st_dev != above.st_dev) {
        Tell(QStringLiteral("%1 is on another file system; the report does not read it.").arg(path), kCaptionRefresh);
        return false;
    }
    // An opened report is read by its own rules; when it does not know them, or its
    // letter stands for another directory today, the user decides first.
    const std::string concern = m_doc.PlanRefresh(t.cDrive).strConcern;
    if (!concern.empty()) {
        if (!Ask(kCaptionRefresh, QFile::decodeName(QByteArray::fromStdString(concern))))
            return false;
    }
    std::string message;
    Status(QStringLiteral("Reading %1 ...").arg(path));
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    emit m_doc.busyChanged(true);
    const tvl::WalkResult r = m_doc.RefreshFolder(t.cDrive, t.nPos, message);
    emit m_doc.busyChanged(false);
    QGuiApplication::restoreOverrideCursor();
    Status(QString());
    if (r == tvl::WalkResult::Failed)
        Tell(QString::fromStdString(message), kCaptionRefresh);
    if (r != tvl::WalkResult::Complete)
        return false;
    Edited();
    return true;
}

void CReportActions::RefreshAll()
{
    std::vector<char> drives;
    for (const auto& d : m_doc.m_pDriveReports)
        if (d)
            drives.push_back(d->cDrive);
    for (char c : drives)
        if (!Refresh(Target{c, 0, false, {}, 0}))
            return;
}

void CReportActions::Edited()
{
    m_doc.ReportEdited();
    m_frame.m_pDiscView->FillList();
    // A ranking that may miss files says so on its tab and in the status bar.
    QTabBar* tabs = m_frame.m_pRankView->Tabs();
    QStringList incomplete;
    for (std::size_t i = 0; i < m_doc.m_pDriveReports.size(); ++i) {
        const tvl::DriveReport* d = m_doc.m_pDriveReports[i].get();
        if (!d || !d->bRankingIncomplete || static_cast<int>(i) + 1 >= tabs->count())
            continue;
        incomplete << QStringLiteral("%1:").arg(QChar::fromLatin1(d->cDrive));
        tabs->setTabToolTip(static_cast<int>(i) + 1, kIncompleteRanking);
        tabs->setTabToolTip(0, kIncompleteRanking);
    }
    if (!incomplete.isEmpty())
        Status(QStringLiteral("The ranking of %1 may be incomplete until \"Refresh all\".")
                   .arg(incomplete.join(QStringLiteral(", "))));
}

void CReportActions::Tell(const QString& text, const QString& caption) const
{
    m_doc.Environment().messages.ShowMessage(caption.toStdString(), text.toStdString(), tvl::MessageIcon::Error);
}

void CReportActions::Status(const QString& text) const
{
    m_frame.statusBar()->showMessage(text, 10000);
}

void CReportActions::ShowFind()
{
    if (!m_pFindDlg)
        m_pFindDlg = new CFindDlg(m_frame, m_doc);
    m_pFindDlg->show();
    m_pFindDlg->raise();
    m_pFindDlg->activateWindow();
    m_pFindDlg->m_edit->setFocus();
    m_pFindDlg->m_edit->selectAll();
}

// Find ------------------------------------------------------------------------------

CFindDlg::CFindDlg(CMainFrame& frame, CTovalineDoc& doc) : QDialog(&frame), m_frame(frame), m_doc(doc)
{
    setWindowTitle(QStringLiteral("Find"));
    m_edit = new QLineEdit(this);
    m_edit->setPlaceholderText(QStringLiteral("Part of a name, or a pattern such as *.iso"));
    m_matchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    auto* find = new QPushButton(QStringLiteral("&Find"), this);
    find->setDefault(true);
    m_count = new QLabel(this);
    m_results = new QTreeWidget(this);
    m_results->setRootIsDecorated(false);
    m_results->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Size"), QStringLiteral("Location")});
    m_results->header()->setStretchLastSection(true);
    auto* row = new QHBoxLayout;
    row->addWidget(m_edit, 1);
    row->addWidget(m_matchCase);
    row->addWidget(find);
    auto* box = new QVBoxLayout(this);
    box->addLayout(row);
    box->addWidget(m_count);
    box->addWidget(m_results, 1);
    connect(find, &QPushButton::clicked, this, [this] { Search(); });
    connect(m_edit, &QLineEdit::returnPressed, this, [this] { Search(); });
    connect(m_results, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { Choose(m_results->indexOfTopLevelItem(item)); });
    resize(640, 400);
}

std::size_t CFindDlg::Search()
{
    const QByteArray text = QFile::encodeName(m_edit->text());
    const tvl::FindQuery q = tvl::MakeFindQuery(std::string(text.constData(), static_cast<std::size_t>(text.size())),
                                                m_matchCase->isChecked());
    std::vector<const tvl::DriveReport*> drives;
    for (const auto& d : m_doc.m_pDriveReports)
        drives.push_back(d.get());
    std::size_t total = 0;
    const std::vector<tvl::FindHit> hits = tvl::FindNames(drives, q, kMaxShown, &total);
    m_results->clear();
    QList<QTreeWidgetItem*> items;
    for (const tvl::FindHit& h : hits) {
        const tvl::FolderRecord* f = m_doc.DriveOf(h.cDrive)->GetFolder(h.nFolderPos);
        const bool bFile = h.nFileIndex >= 0;
        const std::string& name = bFile ? f->files[static_cast<std::size_t>(h.nFileIndex)].strName : f->strPath;
        auto* item = new QTreeWidgetItem;
        item->setText(0, bFile ? QFile::decodeName(name.c_str())
                               : QString::fromStdString(tvl::FolderDisplayName(f->strPath)) + QLatin1Char('\\'));
        item->setText(1, sizetext::Size(h.nSize));
        item->setToolTip(1, sizetext::ExactTip(h.nSize));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
        item->setText(2, QFile::decodeName((bFile || !f->pParent ? f->strPath : f->pParent->strPath).c_str()));
        item->setData(0, Qt::UserRole, QVariant::fromValue(QList<QVariant>{QChar::fromLatin1(h.cDrive), h.nFolderPos,
                                                                           h.nFileIndex}));
        items.push_back(item);
    }
    m_results->addTopLevelItems(items);
    m_results->resizeColumnToContents(0);
    m_results->resizeColumnToContents(1);
    QString count = total > hits.size() ? QStringLiteral("%1 found, the largest %2 shown").arg(total).arg(hits.size())
                                        : QStringLiteral("%1 found").arg(total);
    // File names are only searched where the report stores them.
    QStringList withoutNames;
    for (const tvl::DriveReport* d : drives)
        if (d && !d->bStoreFileNames)
            withoutNames << QStringLiteral("%1:").arg(QChar::fromLatin1(d->cDrive));
    if (!withoutNames.isEmpty() && withoutNames.size() == static_cast<int>(drives.size()))
        count += QStringLiteral(". Only folder names were searched: this report does not store file names.");
    else if (!withoutNames.isEmpty())
        count += QStringLiteral(". On %1 only folder names were searched: the report stores no file names there.")
                     .arg(withoutNames.join(QStringLiteral(", ")));
    m_count->setText(count);
    return total;
}

bool CFindDlg::Choose(int row)
{
    QTreeWidgetItem* item = m_results->topLevelItem(row);
    if (!item)
        return false;
    const QList<QVariant> key = item->data(0, Qt::UserRole).toList();
    return ShowInViews(m_frame, m_doc, key.at(0).toChar().toLatin1(), key.at(1).toInt(), key.at(2).toInt());
}

bool ShowInViews(CMainFrame& frame, CTovalineDoc& doc, char cDrive, int nPos, int nFile)
{
    const tvl::DriveReport* d = doc.DriveOf(cDrive);
    const tvl::FolderRecord* f = d ? d->GetFolder(nPos) : nullptr;
    if (!f || !frame.m_pDiscView->ShowFolder(DriveIndex(doc, cDrive), nPos))
        return false; // the report changed since the search
    if (nFile < 0 || static_cast<std::size_t>(nFile) >= f->files.size())
        return nFile < 0;
    const CFileListModel& model = frame.m_pFileView->Model();
    for (int r = 0; r < model.rowCount(); ++r)
        if (model.EntryAt(r).strName == f->files[static_cast<std::size_t>(nFile)].strName) {
            QTreeView* list = frame.m_pFileView->List();
            list->setCurrentIndex(model.index(r, 0));
            list->scrollTo(model.index(r, 0));
            return true;
        }
    return false;
}
