// The treemap pane: the drive or folder selected in the folder view as nested
// rectangles, each folder and file with an area proportional to its size (the layout
// and picture of treemap/, the same as tovaline-cli draws).
//
// Hover shows a tile's path and size in the status bar and a tool tip; a click selects
// the tile's folder (through folderClicked, which the frame passes to the folder
// view); a double-click zooms one level in (into the folder right below the shown one
// that holds the tile), Backspace or the "Zoom out" button one level out. The selected
// folder is outlined.
//
// The report is read on the user-interface thread only, once per report, into a
// TreemapTree (a copy of what the layout needs); layouts and pictures are made from
// that copy on a worker thread and kept until the report, the size or the shown
// folder changes. Until a new picture is there the old one is shown stretched and
// answers hover and clicks. Nothing is read while a scan runs.
#pragma once

#include "View.h"

#include "TreemapLayout.h"
#include "TreemapRender.h"

#include <QImage>
#include <QTimer>

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QThreadPool;
class QToolButton;
class QAction;

namespace tvl {
struct FolderRecord;
}

class CTreemapView : public CView {
    Q_OBJECT
public:
    explicit CTreemapView(QWidget* parent = nullptr);
    ~CTreemapView() override;

    // kHintAll: a new report; shows the selected folder's drive (or the first drive).
    // kHintSelection: frames the newly selected folder in the picture when it lies inside
    // the folder shown (or was clicked here); otherwise shows that folder.
    void OnUpdate(CView* pSender, int lHint) override;

    // Whether a folder (list position) lies in the folder the picture shows.
    bool Shows(int nPos) const;
    // Shows the subtree of the folder at list position nPos of drive report nDrive.
    void ZoomTo(int nDrive, int nPos);
    // Shows the folder at list position nPos of the shown drive, which lies inside
    // the shown folder; the present picture is kept for the way back.
    void ZoomIn(int nPos);
    // Shows the parent of the shown folder (at once when it was zoomed in from there
    // and the size has not changed); false at a drive's root or with nothing shown.
    bool ZoomOut();

    int ShownDrive() const { return m_nDrive; }
    int ShownFolder() const { return m_nRoot; }
    const tvl::TreemapLayout& Layout() const { return *m_pLayout; }
    // True once the layout and picture of the shown folder at the present size are there.
    bool PictureReady() const { return !m_image.isNull() && m_nImageGeneration == m_nGeneration; }
    // Where the picture is drawn, in the pane's coordinates.
    QRect MapRect() const;
    // The centre of the tile of the folder at list position nPos of the shown drive, in
    // the pane's coordinates; (-1, -1) when it has no tile.
    QPoint FolderPoint(int nPos) const;
    // What the pane says about the tile under a point ("" for none): path and size.
    QString TileText(const QPoint& pos) const;
    QAction* ZoomOutAction() const { return m_actZoomOut; }

    // Picks out the tiles of one file type ("" for names without extension) and dims
    // all others; nullopt shows the plain picture again. Follows every new picture.
    void HighlightType(std::optional<std::string> strExtension);
    // One flag per tile of Layout(): set for the tiles shown lit (none without a type).
    const std::vector<std::uint8_t>& HighlightedTiles() const { return m_lit; }

signals:
    // The user clicked a tile of this folder.
    void folderClicked(tvl::FolderRecord* pFolder);
    // Another picture (and layout, legend and colours) is shown.
    void pictureChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Job;
    // Lays out the shown folder at the pane's size and starts drawing it.
    void Relayout();
    void OnPictureDone(std::shared_ptr<Job> job);
    const tvl::DriveReport* ShownReport() const;
    // The tile under a point of the pane, or -1.
    int TileAt(const QPoint& pos) const;
    // The list position of the folder a tile belongs to (its own folder for a folder
    // tile, the holding folder for files), or -1.
    int FolderOfTile(int nTile) const;
    void UpdateHeader();
    void DrawLegend(QPainter& p, const QRect& r) const;
    QRectF TileRect(int nTile) const;
    void ShowStatus(const QString& text);
    void UpdateHighlight();

    QToolButton* m_btnZoomOut;
    QAction* m_actZoomOut;
    QLabel* m_lblPath;
    QTimer m_relayoutTimer;
    std::unique_ptr<QThreadPool> m_pool;

    std::shared_ptr<const tvl::TreemapTree> m_pTree; // of the shown drive, for the current report
    int m_nDrive = -1;          // index of the shown drive report
    int m_nRoot = -1;           // list position of the shown folder
    int m_nSelected = -1;       // list position of the outlined folder (shown drive only)
    bool m_bOwnClick = false;   // the selection being announced came from this pane
    std::shared_ptr<const tvl::TreemapLayout> m_pLayout; // of m_image (an older one while a job runs)
    QImage m_image;             // the picture, device pixels
    std::shared_ptr<const tvl::TreemapPixelMap> m_map; // which tile each pixel of m_image shows
    std::uint64_t m_nGeneration = 0;      // of the current layout
    std::uint64_t m_nImageGeneration = 0; // of m_image
    std::shared_ptr<std::atomic<bool>> m_pCancel; // of the picture being drawn
    int m_nHover = -1;

    // The pictures zoomed in from, innermost last, for an immediate way back.
    struct Shown {
        int nRoot = -1;
        std::shared_ptr<const tvl::TreemapLayout> layout;
        QImage image;
        std::shared_ptr<const tvl::TreemapPixelMap> map;
    };
    static constexpr std::size_t kZoomMemory = 4; // about 11 MB each at 1600x1000
    std::vector<Shown> m_zoomedFrom;

    std::optional<std::string> m_highlight; // the type picked out
    std::vector<std::uint8_t> m_lit;        // its tiles in m_pLayout
    QImage m_dimmed;                        // m_image with the other tiles dimmed
};
