#include "DateText.h"

#include "Report.h"

#include <QDateTime>
#include <QFontMetrics>
#include <QLocale>

#include <algorithm>

namespace datetext {

namespace {

// 0001-01-01 and 9999-12-31 23:59:59 UTC, with a day's margin for the time zone.
constexpr std::int64_t kFirst = -62135596800 + 86400;
constexpr std::int64_t kLast = 253402300799 - 86400;

bool Known(std::int64_t nTime)
{
    return nTime != tvl::kNoTime && nTime >= kFirst && nTime <= kLast;
}

} // namespace

QString Date(std::int64_t nTime)
{
    if (!Known(nTime))
        return {};
    return QLocale().toString(QDateTime::fromSecsSinceEpoch(nTime).date(), QLocale::ShortFormat);
}

QString DateTime(std::int64_t nTime)
{
    if (!Known(nTime))
        return {};
    return QLocale().toString(QDateTime::fromSecsSinceEpoch(nTime), QLocale::ShortFormat);
}

int WidestDate(const QFontMetrics& fm)
{
    QChar widestDigit = QLatin1Char('0');
    for (char c = '0'; c <= '9'; ++c)
        if (fm.horizontalAdvance(QLatin1Char(c)) > fm.horizontalAdvance(widestDigit))
            widestDigit = QLatin1Char(c);
    int widest = 0;
    for (int month = 1; month <= 12; ++month) {
        QString text = QLocale().toString(QDate(2026, month, 28), QLocale::ShortFormat);
        for (QChar& ch : text)
            if (ch.isDigit())
                ch = widestDigit;
        widest = std::max(widest, fm.horizontalAdvance(text));
    }
    return widest;
}

} // namespace datetext
