#include "ScanSettings.h"

#include <QSettings>

namespace {
constexpr const char* kSkipHidden = "Scan/SkipHidden";
constexpr const char* kLinksOnce = "Scan/CountHardLinksOnce";
constexpr const char* kDiscUsage = "Scan/SpaceOnDisc";
constexpr const char* kExclude = "Scan/LeaveOut";
} // namespace

tvl::ScanOptions ReadScanOptions(QSettings& settings)
{
    tvl::ScanOptions o;
    o.bSkipHidden = settings.value(kSkipHidden, o.bSkipHidden).toBool();
    o.bCountLinksOnce = settings.value(kLinksOnce, o.bCountLinksOnce).toBool();
    o.bDiscUsage = settings.value(kDiscUsage, o.bDiscUsage).toBool();
    const QByteArray text = settings.value(kExclude).toString().toUtf8();
    std::vector<std::string> patterns;
    if (tvl::ParseExcludeList(std::string_view(text.constData(), static_cast<std::size_t>(text.size())), patterns)
            .empty())
        o.excludes = std::move(patterns);
    return o;
}

void WriteScanOptions(QSettings& settings, const tvl::ScanOptions& options)
{
    settings.setValue(kSkipHidden, options.bSkipHidden);
    settings.setValue(kLinksOnce, options.bCountLinksOnce);
    settings.setValue(kDiscUsage, options.bDiscUsage);
    settings.setValue(kExclude, QString::fromStdString(tvl::JoinExcludeList(options.excludes)));
}
