// What the desktop tests share: a document over temporary mapped drives with every
// platform hook it needs, fixture trees, and a way to answer the "Create report"
// dialog that New runs modally.
#pragma once

#include "CCreateReportDlg.h"
#include "CTovalineDoc.h"
#include "DriveMap.h"
#include "FileSystem.h"
#include "MessagePump.h"
#include "Messages.h"
#include "Progress.h"
#include "Scan.h"
#include "View.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

namespace gui_test {

// A clock that moves on by a fixed step at every reading, so the message pump fires
// as often as the test wants.
class SteppingClock final : public tvl::IClock {
public:
    explicit SteppingClock(std::uint32_t step) : m_step(step) {}
    std::uint32_t NowMs() override { return m_now += m_step; }

private:
    std::uint32_t m_now = 0;
    std::uint32_t m_step;
};

// A hook that runs a test's function whenever the pump lets events through.
class CallbackPump final : public tvl::IEventPump {
public:
    std::function<void()> onPump;
    int nCalls = 0;
    void ProcessPendingEvents() override
    {
        ++nCalls;
        if (onPump)
            onPump();
    }
};

// Counts the updates a view receives.
class SpyView final : public CView {
public:
    std::vector<int> hints;
    void OnUpdate(CView*, int lHint) override { hints.push_back(lHint); }
    int Count(int hint) const { return static_cast<int>(std::count(hints.begin(), hints.end(), hint)); }
};

struct DocEnv {
    explicit DocEnv(std::uint32_t pumpStepMs = 0)
        : clock(pumpStepMs), pump(clock, &hook), env{fs, drives, steps, messages, pump}, doc(env, load)
    {
    }
    tvl::PosixFileSystem fs;
    tvl::DriveMap drives;
    tvl::NullStepProgress steps;
    tvl::NullLoadProgress load;
    tvl::RecordingMessageSink messages;
    SteppingClock clock;
    CallbackPump hook;
    tvl::MessagePump pump;
    tvl::ScanEnvironment env;
    CTovalineDoc doc;
};

inline void WriteFile(const QString& path, int bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(QByteArray(bytes, 'x'));
}

// C:\ with a file of 100 bytes and
//   a\ -> x\ -> deep\ (a file of 50 bytes)
//   b\ (a file of 300 bytes), c\ (empty)
inline void MakeTree(const QString& root)
{
    QDir(root).mkpath(QStringLiteral("a/x/deep"));
    QDir(root).mkpath(QStringLiteral("b"));
    QDir(root).mkpath(QStringLiteral("c"));
    WriteFile(root + QStringLiteral("/f1"), 100);
    WriteFile(root + QStringLiteral("/a/x/deep/f2"), 50);
    WriteFile(root + QStringLiteral("/b/f3"), 300);
}

// Runs New and answers its dialog with `answer` once it is open.
inline bool RunNew(CTovalineDoc& doc, const std::function<void(CCreateReportDlg&)>& answer)
{
    QTimer::singleShot(0, [answer] {
        auto* dlg = qobject_cast<CCreateReportDlg*>(QApplication::activeModalWidget());
        if (!dlg) {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* d = qobject_cast<CCreateReportDlg*>(w); d && d->isVisible())
                    dlg = d;
        }
        if (dlg)
            answer(*dlg);
    });
    return doc.OnNewDocument();
}

// Checks the drives given by letter and presses "Start!".
inline std::function<void(CCreateReportDlg&)> StartWith(const std::string& letters)
{
    return [letters](CCreateReportDlg& dlg) {
        for (int i = 0; i < dlg.m_wndDriveList->count(); ++i) {
            QListWidgetItem* item = dlg.m_wndDriveList->item(i);
            const char letter = static_cast<char>(item->data(Qt::UserRole).toInt());
            if (letters.find(letter) != std::string::npos)
                item->setCheckState(Qt::Checked);
        }
        dlg.m_wndStart->click();
    };
}

} // namespace gui_test
