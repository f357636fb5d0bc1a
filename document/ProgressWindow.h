// What the two progress windows share: the window flags of an un-closable modeless
// tool window and the bar/percent update.
#pragma once

#include <QString>
#include <string>

class QDialog;
class QLabel;
class QProgressBar;

namespace tvl::progress_window {

// Tool window with a title but no close button or system menu, never modal.
void MakeToolWindow(QDialog& dlg);
// Shows nPos of nTotal on the bar and the percent label; skips the widgets when
// nothing changed since the last call (lastBarPos/lastText remember it).
void ShowPercent(QProgressBar& bar, QLabel& percent, int nPos, int nTotal, int& lastBarPos, std::string& lastText);

} // namespace tvl::progress_window
