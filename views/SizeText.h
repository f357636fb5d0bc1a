// How the desktop program shows a byte count: grouped digits ("1.234.567") by
// default, or binary units with one decimal ("1.2 MiB", the rule of tovaline-cli's
// --human) while View > "Sizes in units" is on. The exact number is then in the tool
// tip. One switch for the whole program, as the menu entry is.
#pragma once

#include <QObject>
#include <QString>

#include <cstdint>

class QFontMetrics;

// Tells the views that sizes are now shown the other way; each redraws and
// measures its number columns again.
class SizeTextNotifier : public QObject {
    Q_OBJECT
signals:
    void changed();
};

namespace sizetext {

SizeTextNotifier& Notifier();
// Switches all views; they hear of it through Notifier().
void SetUnits(bool bUnits);
bool Units();

// A byte count as the views show it.
QString Size(std::int64_t nBytes);
// A change of size with its sign: "+1.234" or "+1.2 KiB"; no change is "0".
QString Change(std::int64_t nBytes);
// The exact count for a tool tip, "1.234.567 bytes"; empty while units are off (the
// cell shows the exact number already).
QString ExactTip(std::int64_t nBytes);
// The widest text Size gives for counts between lo and hi, in pixels. With units a
// smaller count may be wider ("1023.9 KiB" against "1.0 MiB"), so the widest text of
// its kind is measured.
int WidestSize(const QFontMetrics& fm, std::int64_t lo, std::int64_t hi);

} // namespace sizetext
