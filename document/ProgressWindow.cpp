#include "ProgressWindow.h"

#include "Progress.h"
#include "QtPlatform.h"

#include <QDialog>
#include <QLabel>
#include <QProgressBar>

namespace tvl::progress_window {

void MakeToolWindow(QDialog& dlg)
{
    dlg.setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dlg.setModal(false);
}

void ShowPercent(QProgressBar& bar, QLabel& percent, int nPos, int nTotal, int& lastBarPos, std::string& lastText)
{
    const PercentDisplay d = ComputePercent(nPos, nTotal);
    if (d.barPos != lastBarPos) {
        bar.setValue(d.barPos);
        lastBarPos = d.barPos;
    }
    if (d.text != lastText) {
        percent.setText(ToQString(d.text));
        lastText = d.text;
    }
}

} // namespace tvl::progress_window
