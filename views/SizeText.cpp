#include "SizeText.h"

#include "NumberFormat.h"

#include <QFontMetrics>

#include <algorithm>

namespace sizetext {

namespace {
bool g_bUnits = false;
}

SizeTextNotifier& Notifier()
{
    static SizeTextNotifier notifier;
    return notifier;
}

void SetUnits(bool bUnits)
{
    if (g_bUnits == bUnits)
        return;
    g_bUnits = bUnits;
    emit Notifier().changed();
}

bool Units()
{
    return g_bUnits;
}

QString Size(std::int64_t nBytes)
{
    return QString::fromStdString(g_bUnits ? tvl::FormatHumanSize(nBytes) : tvl::FormatSize(nBytes));
}

QString Change(std::int64_t nBytes)
{
    if (!g_bUnits || nBytes == 0)
        return QString::fromStdString(tvl::FormatSizeChange(nBytes));
    // FormatHumanSize writes the "-" of a negative count itself.
    return (nBytes > 0 ? QStringLiteral("+") : QString()) + QString::fromStdString(tvl::FormatHumanSize(nBytes));
}

QString ExactTip(std::int64_t nBytes)
{
    if (!g_bUnits)
        return {};
    return QString::fromStdString(tvl::FormatSize(nBytes)) + QStringLiteral(" bytes");
}

int WidestSize(const QFontMetrics& fm, std::int64_t lo, std::int64_t hi)
{
    int widest = std::max(fm.horizontalAdvance(Size(lo)), fm.horizontalAdvance(Size(hi)));
    if (g_bUnits) {
        const QString sign = lo < 0 ? QStringLiteral("-") : QString();
        for (const char* unit : {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"})
            widest = std::max(widest, fm.horizontalAdvance(sign + QStringLiteral("1023.9 ") + QLatin1String(unit)));
    }
    return widest;
}

} // namespace sizetext
