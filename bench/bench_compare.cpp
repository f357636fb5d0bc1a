// Times the comparison of two report files and measures its memory beside that of the
// two opened reports.
//
//   tvl-bench-compare OLD NEW
//
// Prints one line: "open_s=... compare_s=... folders=... changed=... file_changes=...
// rss_reports_kb=... peak_kb=... ratio=..." where rss_reports_kb is the resident memory
// once both reports are open, peak_kb the peak of the whole process after the
// comparison, and ratio peak_kb / rss_reports_kb.
#include "ReportCompare.h"
#include "ReportDocument.h"
#include "ReportReading.h"

#include <chrono>
#include <cstdio>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace {

long ResidentKb()
{
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: tvl-bench-compare OLD NEW\n");
        return 2;
    }
    tvl::ReportReadingEnvironment reading;
    tvl::ReportDocument baseline(reading.Env()), current(reading.Env());

    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    const bool opened = baseline.OnOpenDocument(argv[1]) && current.OnOpenDocument(argv[2]);
    const auto t1 = Clock::now();
    for (const auto& m : reading.Recorded().messages)
        std::fprintf(stderr, "%s: %s\n", m.caption.c_str(), m.text.c_str());
    if (!opened)
        return 1;
    const long reportsKb = ResidentKb();

    const auto t2 = Clock::now();
    const tvl::ReportComparison rc =
        tvl::CompareReports(tvl::ReportSide{baseline.m_pDriveReports, baseline.m_bRanking, baseline.m_rankingAll},
                            tvl::ReportSide{current.m_pDriveReports, current.m_bRanking, current.m_rankingAll});
    const auto t3 = Clock::now();

    long long folders = 0, changed = 0, files = 0;
    for (const auto& d : rc.drives) {
        folders += static_cast<long long>(d.folders.size());
        for (const auto& f : d.folders)
            changed += f.state != tvl::ChangeState::Unchanged;
        files += static_cast<long long>(d.files.size());
    }
    struct rusage ru {};
    ::getrusage(RUSAGE_SELF, &ru);
    std::printf("open_s=%.4f compare_s=%.4f folders=%lld changed=%lld file_changes=%lld rss_reports_kb=%ld "
                "peak_kb=%ld ratio=%.2f\n",
                std::chrono::duration<double>(t1 - t0).count(), std::chrono::duration<double>(t3 - t2).count(),
                folders, changed, files, reportsKb, ru.ru_maxrss,
                reportsKb > 0 ? static_cast<double>(ru.ru_maxrss) / static_cast<double>(reportsKb) : 0.0);
    return 0;
}
