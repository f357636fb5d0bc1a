#include "CCreateReportDlg.h"

#include "DriveMap.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QStyle>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

CCreateReportDlg::CCreateReportDlg(const tvl::DriveMap& drives, QWidget* parent) : QDialog(parent), m_drives(drives)
{
    setWindowTitle(QStringLiteral("Create report"));
    setModal(true);

    auto* group = new QGroupBox(this);
    auto* grid = new QGridLayout(group);

    grid->addWidget(new QLabel(QStringLiteral("Select drives:"), group), 0, 0);
    m_wndDriveList = new QListWidget(group);
    m_wndDriveList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_wndDriveList->setFixedWidth(110);
    m_wndDriveList->setMinimumHeight(110);
    grid->addWidget(m_wndDriveList, 1, 0, 3, 1);
    m_wndAddFolder = new QPushButton(QStringLiteral("Add &folder..."), group);
    m_wndAddFolder->setAutoDefault(false);
    m_wndAddFolder->setToolTip(QStringLiteral("Scans a folder of your choice as a drive of its own"));
    m_wndAddFolder->hide();
    grid->addWidget(m_wndAddFolder, 4, 0);

    grid->addWidget(new QLabel(QStringLiteral("Options:"), group), 0, 1);
    auto* rankingRow = new QHBoxLayout;
    m_wndRanking = new QCheckBox(QStringLiteral("Create &ranking of"), group);
    m_wndRankingSize = new QLineEdit(group);
    m_wndRankingSize->setFixedWidth(48);
    rankingRow->addWidget(m_wndRanking);
    rankingRow->addWidget(m_wndRankingSize);
    rankingRow->addWidget(new QLabel(QStringLiteral("largest files"), group));
    rankingRow->addStretch(1);
    grid->addLayout(rankingRow, 1, 1);
    m_wndStoreFileNames = new QCheckBox(QStringLiteral("Store filenames in database"), group);
    grid->addWidget(m_wndStoreFileNames, 2, 1);
    grid->addLayout(MakeScanOptionControls(group), 3, 1);
    grid->addLayout(MakeExcludeRow(group), 5, 0, 1, 2);

    auto* buttons = new QHBoxLayout;
    m_wndStart = new QPushButton(QStringLiteral("Start!"), group);
    m_wndStart->setDefault(true);
    m_wndCancel = new QPushButton(QStringLiteral("Cancel"), group);
    buttons->addWidget(m_wndStart);
    buttons->addSpacing(12);
    buttons->addWidget(m_wndCancel);
    grid->addLayout(buttons, 6, 1, Qt::AlignBottom);
    grid->setRowStretch(3, 1); // the options sit at the top, any extra height goes below them

    auto* outer = new QVBoxLayout(this);
    outer->addWidget(group);

    // Initial values: ranking checked with 100 in the enabled edit, file names clear.
    m_wndRanking->setChecked(m_bRanking);
    m_wndStoreFileNames->setChecked(m_bStoreFileNames);
    m_wndRankingSize->setText(QString::number(m_nRankingSize));
    SetScanOptions(m_scanOptions);

    // One unchecked item per available drive, C upwards; the letter is the item data.
    for (char letter : drives.AvailableLetters())
        ItemOf(letter);
    connect(m_wndAddFolder, &QPushButton::clicked, this, &CCreateReportDlg::OnAddFolder);

    connect(m_wndRanking, &QCheckBox::clicked, this, &CCreateReportDlg::OnRankingClicked);
    connect(m_wndStart, &QPushButton::clicked, this, &CCreateReportDlg::OnOK);
    connect(m_wndCancel, &QPushButton::clicked, this, &QDialog::reject);
}

QListWidgetItem* CCreateReportDlg::ItemOf(char letter)
{
    int at = 0;
    for (; at < m_wndDriveList->count(); ++at) {
        const int l = m_wndDriveList->item(at)->data(Qt::UserRole).toInt();
        if (l == static_cast<unsigned char>(letter))
            return m_wndDriveList->item(at);
        if (l > static_cast<unsigned char>(letter))
            break;
    }
    const std::string dir = m_drives.Directory(letter);
    auto* item = new QListWidgetItem(QStringLiteral(" Drive %1:").arg(QChar(letter)));
    m_wndDriveList->insertItem(at, item);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
    item->setData(Qt::UserRole, static_cast<int>(static_cast<unsigned char>(letter)));
    item->setToolTip(QFile::decodeName(dir.c_str()));
    return item;
}

void CCreateReportDlg::FitDriveList()
{
    // A folder's item names it: the list grows for it (up to a limit; beyond, the
    // name is elided and the tool tip has it whole).
    const int scroll = m_wndDriveList->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int wanted = m_wndDriveList->sizeHintForColumn(0) + 2 * m_wndDriveList->frameWidth() + scroll + 4;
    m_wndDriveList->setFixedWidth(std::clamp(wanted, 110, 280));
}

void CCreateReportDlg::SetFolderChooser(std::function<char(QWidget*)> choose)
{
    m_chooseFolder = std::move(choose);
    m_wndAddFolder->setVisible(static_cast<bool>(m_chooseFolder));
}

void CCreateReportDlg::CheckDrives(const std::string& letters)
{
    for (char letter : letters) {
        if (!m_drives.IsMapped(letter))
            continue;
        QListWidgetItem* item = ItemOf(letter);
        const QString dir = QFile::decodeName(m_drives.Directory(letter).c_str());
        item->setText(QStringLiteral(" Drive %1: %2").arg(QChar(letter)).arg(QFileInfo(dir).fileName().isEmpty()
                                                                                 ? dir
                                                                                 : QFileInfo(dir).fileName()));
        item->setCheckState(Qt::Checked);
        m_wndDriveList->scrollToItem(item);
    }
    FitDriveList();
}

void CCreateReportDlg::OnAddFolder()
{
    if (!m_chooseFolder)
        return;
    const char letter = m_chooseFolder(this);
    if (letter)
        CheckDrives(std::string(1, letter));
}

QLayout* CCreateReportDlg::MakeScanOptionControls(QWidget* group)
{
    auto* box = new QVBoxLayout;
    box->setContentsMargins(0, 0, 0, 0);
    m_wndSkipHidden = new QCheckBox(QStringLiteral("Skip hidden folders"), group);
    m_wndSkipHidden->setToolTip(QStringLiteral("Leave out folders whose names begin with a dot, "
                                               "with everything below them."));
    m_wndLinksOnce = new QCheckBox(QStringLiteral("Count hard-linked files once"), group);
    m_wndLinksOnce->setToolTip(QStringLiteral("A file with several names counts under the first name met; "
                                              "its other names are listed but add nothing."));
    box->addWidget(m_wndSkipHidden);
    box->addWidget(m_wndLinksOnce);

    auto* sizes = new QHBoxLayout;
    sizes->addWidget(new QLabel(QStringLiteral("Sizes:"), group));
    m_wndFileSize = new QRadioButton(QStringLiteral("file size"), group);
    m_wndDiscUsage = new QRadioButton(QStringLiteral("space used on disc"), group);
    sizes->addWidget(m_wndFileSize);
    sizes->addWidget(m_wndDiscUsage);
    sizes->addStretch(1);
    box->addLayout(sizes);
    box->addStretch(1);
    return box;
}

QLayout* CCreateReportDlg::MakeExcludeRow(QWidget* group)
{
    auto* exclude = new QHBoxLayout;
    auto* excludeLabel = new QLabel(QStringLiteral("Leave out folders matching"), group);
    m_wndExclude = new QLineEdit(group);
    m_wndExclude->setPlaceholderText(QStringLiteral("node_modules; var/cache"));
    m_wndExclude->setToolTip(QStringLiteral("Shell patterns separated by ';'. A pattern with '/' is matched "
                                            "against the folder's path below the drive, otherwise against "
                                            "its name."));
    m_wndExclude->setMinimumWidth(120);
    excludeLabel->setBuddy(m_wndExclude);
    exclude->addWidget(excludeLabel);
    exclude->addWidget(m_wndExclude, 1);
    return exclude;
}

void CCreateReportDlg::SetScanOptions(const tvl::ScanOptions& options)
{
    m_scanOptions = options;
    m_wndSkipHidden->setChecked(options.bSkipHidden);
    m_wndLinksOnce->setChecked(options.bCountLinksOnce);
    m_wndFileSize->setChecked(!options.bDiscUsage);
    m_wndDiscUsage->setChecked(options.bDiscUsage);
    m_wndExclude->setText(QString::fromStdString(tvl::JoinExcludeList(options.excludes)));
}

bool CCreateReportDlg::TakeScanOptions(tvl::ScanOptions& out)
{
    const QByteArray text = m_wndExclude->text().toUtf8();
    std::vector<std::string> patterns;
    const std::string problem =
        tvl::ParseExcludeList(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), patterns);
    if (!problem.empty()) {
        ShowMessage(QString::fromLatin1(kCaptionCreateReportDlg), QString::fromStdString(problem),
                    QMessageBox::Warning);
        m_wndExclude->setFocus();
        return false;
    }
    out.bSkipHidden = m_wndSkipHidden->isChecked();
    out.bCountLinksOnce = m_wndLinksOnce->isChecked();
    out.bDiscUsage = m_wndDiscUsage->isChecked();
    out.excludes = std::move(patterns);
    return true;
}

void CCreateReportDlg::OnRankingClicked()
{
    m_wndRankingSize->setEnabled(m_wndRanking->isChecked());
}

void CCreateReportDlg::ShowMessage(const QString& caption, const QString& text, QMessageBox::Icon icon)
{
    if (m_showMessage) {
        m_showMessage(caption, text, icon);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, this);
    box.exec();
}

void CCreateReportDlg::OnOK()
{
    m_strDrives.clear();
    for (int i = 0; i < m_wndDriveList->count(); ++i) {
        const QListWidgetItem* item = m_wndDriveList->item(i);
        if (item->checkState() == Qt::Checked)
            m_strDrives.push_back(static_cast<char>(item->data(Qt::UserRole).toInt() & 0xFF));
    }
    if (m_strDrives.empty()) {
        ShowMessage(QString::fromLatin1(kCaptionCreateReportDlg), QString::fromLatin1(kMsgMarkOneDrive),
                    QMessageBox::Information);
        return;
    }

    // The count must be an unsigned number from 1 to 1000, even while its edit is
    // disabled. A refused count changes none of the results but the drive string,
    // and Cancel afterwards still cancels.
    bool ok = false;
    const QString text = m_wndRankingSize->text().trimmed();
    bool digitsOnly = !text.isEmpty();
    for (QChar c : text)
        digitsOnly = digitsOnly && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const qulonglong value = digitsOnly ? text.toULongLong(&ok) : 0;
    if (!ok || value < 1 || value > 1000) {
        ShowMessage(QString::fromLatin1(kCaptionCreateReportDlg), QString::fromLatin1(kMsgRankingRange),
                    QMessageBox::Warning);
        m_wndRankingSize->setFocus();
        m_wndRankingSize->selectAll();
        return;
    }
    tvl::ScanOptions scan;
    if (!TakeScanOptions(scan))
        return;
    m_bRanking = m_wndRanking->isChecked();
    m_bStoreFileNames = m_wndStoreFileNames->isChecked();
    m_nRankingSize = static_cast<unsigned>(value);
    m_scanOptions = std::move(scan);
    accept();
}
