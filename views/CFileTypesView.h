// The "File types" pane beside the ranking: what kind of files fill the folder
// selected in the folder view, with everything below it.
//
// The "Types" tab lists one row per type (extension): the colour its tiles have in the
// treemap, the extension, files, bytes, the share of the folder's bytes with a bar and
// a description from the system's MIME database; every column sorts. Choosing a type
// picks out its tiles in the treemap (the others dimmed) and lists its largest files
// in the "Files of this type" tab (a double click or Enter on the type opens it); a
// double click or Enter on a file selects it in the folder view and the file list.
// The "Sizes and ages" tab shows the files by size class and, where the report knows
// modification times, by age, as bar charts.
// A report without file names shows one line saying how to make one with names.
//
// The report is read on the user-interface thread only, once per report and drive,
// into a FileTypeIndex (a compact copy); the statistics of a folder and the largest
// files of a type are made from that copy on a worker thread. Nothing is read while a
// scan runs.
#pragma once

#include "View.h"

#include "FileTypes.h"

#include <QStringList>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

class QLabel;
class QStackedWidget;
class QStandardItemModel;
class QTabWidget;
class QThreadPool;
class QTreeView;
class QTreeWidget;
class CTreemapView;
class CTypeHistogramWidget;

class CFileTypesView : public CView {
    Q_OBJECT
public:
    explicit CFileTypesView(QWidget* parent = nullptr);
    ~CFileTypesView() override;

    // Hint 0: a new report (told through namesChanged); hint 1: another folder.
    void OnUpdate(CView* pSender, int lHint) override;

    // The treemap whose colours the swatches show and whose tiles a chosen type picks
    // out. Not owning; may be null.
    void SetTreemap(CTreemapView* pTreemap);

    // Columns of the types list.
    // The numbers come before the description, which gives way when the pane is narrow.
    enum Column { ColSwatch, ColType, ColFiles, ColBytes, ColShare, ColNewest, ColDescription, ColCount };

    QTreeView* TypeList() const { return m_types; }
    QTreeWidget* FileList() const { return m_files; }
    QTabWidget* Tabs() const { return m_tabs; }
    // The line shown for a report without file names ("" while types are shown).
    QString MessageText() const;
    // True once the statistics of the selected folder are shown.
    bool StatisticsReady() const { return m_bReady; }
    const tvl::FileTypeStats& Statistics() const { return m_stats; }
    // Selects the row of a type as a click does; false when the list has none.
    bool ChooseType(const std::string& strExtension);
    // The type chosen in the list, if any.
    std::optional<std::string> ChosenType() const { return m_chosen; }

signals:
    // After a new report: whether it stores file names (the pane is on by default then).
    void namesChanged(bool bNames);
    // A double click or Enter on a file of the "Files of this type" list.
    void fileChosen(char cDrive, int nPos, int nFile);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Job;
    void Recompute();
    void OnStatisticsDone(std::shared_ptr<Job> job);
    void FillTypes();
    void OnTypeChanged();
    void ListFiles();
    void RefreshColours();
    void ShowMessage(const QString& text);
    // The folder and its totals beside the tabs, shortened to the room there is.
    void ShowHeading();
    const tvl::DriveReport* ShownReport() const;

    QStackedWidget* m_stack;
    QLabel* m_message;
    QTabWidget* m_tabs;
    QLabel* m_heading;
    QString m_strHeadPath, m_strHeadTotals; // the heading: the folder and its totals
    QTreeView* m_types;
    QStandardItemModel* m_model;
    QTreeWidget* m_files;
    CTypeHistogramWidget* m_histograms;
    CTreemapView* m_pTreemap = nullptr;
    std::unique_ptr<QThreadPool> m_pool;

    std::shared_ptr<const tvl::FileTypeIndex> m_pIndex; // of drive m_nDrive of the current report
    int m_nDrive = -1;
    int m_nFolder = -1;
    std::uint64_t m_nGeneration = 0;  // of the statistics asked for last
    std::shared_ptr<std::atomic<bool>> m_pCancel;
    tvl::FileTypeStats m_stats;       // shown
    bool m_bReady = false;
    std::optional<std::string> m_chosen;
    int m_nKnownNames = -1;           // names state last told (-1: none yet)
};
