// The files of the folder selected in the folder view: the file entries stored in
// the report (offline listing) or, when the report keeps no file names, the folder
// as it is on disc right now (live listing). When neither can be shown, a text in
// place of the list says why.
#pragma once

#include "View.h"

#include "Report.h"

#include <QAbstractTableModel>
#include <utility>
#include <vector>

class QLabel;
class QTreeView;

namespace tvl {
class DriveMap;
class IFileSystem;
}

// The rows of the file list: the view's own copies of the listed entries and the
// order in which they are shown. Sorting permutes the order, never the copies.
class CFileListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The columns: "File", "Size" (in the measure shown) and "Last change".
    enum Column { ColFile, ColSize, ColChange, ColCount };

    // Replaces the rows; each new row is put on top of the previous ones, as the
    // listing delivers them. nSize is the size shown; nChange is kNoTime where the
    // time is not known (its cell stays empty).
    void SetFiles(std::vector<tvl::FileEntry> files);
    // Sorts by name (ColFile), size (ColSize) or last change (ColChange; unknown times
    // first) times the direction.
    void Sort(int nColumn, int nDirection);

    const std::vector<tvl::FileEntry>& Files() const { return m_files; }
    // The largest and the smallest size listed (0 and 0 without files).
    std::pair<std::int64_t, std::int64_t> SizeRange() const;
    // The entry shown in a row.
    const tvl::FileEntry& EntryAt(int nRow) const { return m_files[m_order[nRow]]; }

private:
    std::vector<tvl::FileEntry> m_files;
    std::vector<int> m_order; // row -> index into m_files
};

class CFileListView : public CView {
    Q_OBJECT
public:
    explicit CFileListView(QWidget* parent = nullptr);

    void OnUpdate(CView* pSender, int lHint) override;

    // The update: lists the selected folder or says why it cannot.
    void FillFileList();
    void SortList();
    // A click on the heading of column n: the same column again reverses the
    // direction, another column keeps it.
    void OnColumnClick(int n);

    // The sort direction every file list shares for the whole run: +1 ascending,
    // -1 descending. It starts at +1.
    static int SortDirection() { return s_nSortDirection; }
    static void SetSortDirection(int nDirection) { s_nSortDirection = nDirection < 0 ? -1 : 1; }

    QTreeView* List() const { return m_list; }
    QLabel* Message() const { return m_staticMessage; }
    const CFileListModel& Model() const { return *m_model; }

    // Case-insensitive comparison of names, byte by byte with A..Z taken as a..z.
    static int CompareNames(const std::string& a, const std::string& b);

    // Widths of "File" and "Size" for the width the rows are shown in (the list less
    // its vertical scroll bar while there is one): three fifths and two fifths, but
    // "Size" never narrower than sizeMinimum; "File" gives way and elides its names.
    // With a 15-pixel scroll bar a 515-pixel view gives 300 and 200. "Last change",
    // while shown, takes the room of its widest date first.
    static std::pair<int, int> ColumnWidths(int width, int sizeMinimum);

    // Whether the listing knows the files' times (a live listing, or the stored names of
    // a drive with folder facts): "Last change" is then shown while the list is wide
    // enough for it beside about ten letters of the names and whole sizes.
    bool ShowsChanges() const { return m_bTimes; }

    // The narrowest the view may be made by its neighbours: "Size" whole for the files
    // listed, a few letters of the names, the vertical scroll bar and the frame; 0
    // while it lists nothing.
    int MinimumWidth() const;
    // The width that also shows "Last change" whole (MinimumWidth without it; 0 while
    // the view lists nothing): the main window gives it this much when it can.
    int WantedWidth() const;

signals:
    // The list was filled again (its MinimumWidth may have changed).
    void listed();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Sets the column widths for the width the rows are shown in.
    void LayoutColumns();
    // The narrowest "Size" may be: its heading and the widest size listed, whole.
    int SizeColumnMinimum() const;
    // The width of "Last change": its heading and the widest date, whole; 0 when the
    // listing knows no times.
    int ChangeColumnWidth() const;
    // The room "File" keeps beside "Last change".
    int NamesBesideChanges() const;

    // The live listing of the selected folder; false when the folder cannot be read.
    bool ReadFolder(const std::string& strPath, std::vector<tvl::FileEntry>& files) const;

    QTreeView* m_list;
    QLabel* m_staticMessage;
    CFileListModel* m_model;
    int m_nSortColumn = 0;
    bool m_bTimes = false;

    static int s_nSortDirection;
};

// The two reasons for showing no files.
QString FileListDriveMessage(char cDrive);
extern const char* const kFileListFolderMessage;
