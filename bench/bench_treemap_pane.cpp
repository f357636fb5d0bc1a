// Benchmark of the desktop's treemap pane on the million-folder report of
// tvl-bench-treemap (--write), opened as the desktop opens it. Times, as medians of
// RUNS runs, what the user-interface thread spends and when the picture is there:
//   show      a new report in the pane (hint 0: folder index and layout) until the
//             event returns, and picture until the worker's picture is shown
//   hover     the text of the tile under the pointer (status bar and tool tip)
//   zoomin    a double-click on the largest top-level folder, and its picture
//   zoomout   Backspace back to the drive (the picture zoomed in from)
//
//   tvl-bench-treemap-pane REPORT.tvl [RUNS] [WIDTHxHEIGHT]
// Run under QT_QPA_PLATFORM=offscreen.
#include "CTovalineDoc.h"
#include "CTreemapView.h"
#include "FileSystem.h"
#include "MessagePump.h"
#include "ReportReading.h"
#include "Messages.h"
#include "Progress.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Since(const QElapsedTimer& t) { return static_cast<double>(t.nsecsElapsed()) / 1e6; }

// Milliseconds until the pane's picture is there (events processed meanwhile).
double WaitForPicture(CTreemapView& view, const QElapsedTimer& t)
{
    while (!view.PictureReady())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return Since(t);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: tvl-bench-treemap-pane REPORT.tvl [RUNS] [WIDTHxHEIGHT]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
    int width = 1000, height = 300;
    if (argc > 3)
        std::sscanf(argv[3], "%dx%d", &width, &height);

    tvl::NullLoadProgress load;
    tvl::ReportReadingEnvironment files;
    CTovalineDoc doc(files.Env(), load);
    CTreemapView view;
    view.SetDocument(&doc);
    view.resize(width, height);
    view.show();
    QElapsedTimer open;
    open.start();
    if (!doc.OnOpenDocument(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    std::printf("open %.0f ms; pane %dx%d; medians of %d runs\n", Since(open), width, height, runs);

    std::vector<double> show, showPicture, hover, zoomIn, zoomInPicture, zoomOut;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer t;
        t.start();
        view.OnUpdate(nullptr, 0);
        show.push_back(Since(t));
        showPicture.push_back(WaitForPicture(view, t));

        const QRect map = view.MapRect();
        double worst = 0;
        for (int k = 0; k < 200; ++k) {
            const QPoint p(map.left() + (k * 37) % map.width(), map.top() + (k * 53) % map.height());
            t.restart();
            (void)view.TileText(p);
            worst = std::max(worst, Since(t));
        }
        hover.push_back(worst);

        const tvl::TreemapLayout& L = view.Layout();
        const int first = L.tiles[static_cast<std::size_t>(L.tiles[0].nFirstChild)].nFolder;
        const QPoint p = view.FolderPoint(first);
        t.restart();
        QTest::mouseDClick(&view, Qt::LeftButton, {}, p);
        zoomIn.push_back(Since(t));
        zoomInPicture.push_back(WaitForPicture(view, t));
        t.restart();
        view.ZoomOut();
        zoomOut.push_back(Since(t));
    }
    std::printf("show      %8.2f ms on the UI thread, picture after %8.2f ms\n", Median(show), Median(showPicture));
    std::printf("hover     %8.3f ms (slowest of 200 points)\n", Median(hover));
    std::printf("zoomin    %8.2f ms on the UI thread, picture after %8.2f ms\n", Median(zoomIn),
                Median(zoomInPicture));
    std::printf("zoomout   %8.3f ms\n", Median(zoomOut));
    return 0;
}
