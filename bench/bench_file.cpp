// Times Open and Save of one report file through the document, as the programs do
// them, and reports the peak memory of the process.
//
//   tvl-bench-file open FILE          reads FILE
//   tvl-bench-file save FILE OUT      reads FILE, then writes it to OUT
//
// Prints "open_s=... save_s=... folders=... peak_rss_kb=..." on one line. save_s
// covers the whole safe save: temporary file, write, fsync, rename.
#include "ReportDocument.h"
#include "ReportReading.h"

#include <chrono>
#include <cstdio>
#include <string>

#include <sys/resource.h>

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!((mode == "open" && argc == 3) || (mode == "save" && argc == 4))) {
        std::fprintf(stderr, "usage: tvl-bench-file open FILE | save FILE OUT\n");
        return 2;
    }
    tvl::ReportReadingEnvironment files;
    tvl::ReportDocument doc(files.Env());

    using Clock = std::chrono::steady_clock;
    auto t0 = Clock::now();
    const bool opened = doc.OnOpenDocument(argv[2]);
    auto t1 = Clock::now();
    bool saved = true;
    if (opened && mode == "save")
        saved = doc.OnSaveDocument(argv[3]);
    auto t2 = Clock::now();
    for (const auto& m : files.Recorded().messages)
        std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
    if (!opened || !saved)
        return 1;

    long long folders = 0;
    for (const auto& d : doc.m_pDriveReports)
        folders += d ? d->nFolders : 0;
    struct rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("open_s=%.4f save_s=%.4f folders=%lld peak_rss_kb=%ld\n",
                std::chrono::duration<double>(t1 - t0).count(), std::chrono::duration<double>(t2 - t1).count(),
                folders, ru.ru_maxrss);
    return 0;
}
