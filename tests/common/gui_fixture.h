// A document over an environment the test controls: the real file system, a drive map
// the test fills, and recorders for messages and progress.
#pragma once

#include "CTovalineDoc.h"
#include "DriveMap.h"
#include "FileSystem.h"
#include "MessagePump.h"
#include "Messages.h"
#include "Progress.h"
#include "Scan.h"
#include "ReportBuilder.h"

#include <QDir>
#include <QFile>
#include <QString>

#include <memory>

struct GuiFixture {
    tvl::DriveMap drives;
    tvl::NullStepProgress progress;
    tvl::NullLoadProgress loadProgress;
    tvl::RecordingMessageSink messages;
    tvl::MessagePump pump;
    tvl::ScanEnvironment env{tvl::RealFileSystem(), drives, progress, messages, pump};
    CTovalineDoc doc{env, loadProgress};

    // Adds a drive report with a root folder and the given folders (path, level) after
    // it; returns it.
    tvl::DriveReport& AddDrive(char cDrive, bool bStoreFileNames,
                               const std::vector<std::pair<std::string, int>>& folders = {})
    {
        auto d = std::make_unique<tvl::DriveReport>();
        d->cDrive = cDrive;
        d->bStoreFileNames = bStoreFileNames;
        tvl::ReportBuilder builder(*d, tvl::ReportBuilder::Origin::File);
        builder.EnterFolder(tvl::DriveMap::RootPath(cDrive), 0);
        for (const auto& [path, level] : folders)
            builder.EnterFolder(path, level);
        builder.Finish();
        doc.m_pDriveReports.push_back(std::move(d));
        doc.m_nDrives = static_cast<int>(doc.m_pDriveReports.size());
        return *doc.m_pDriveReports.back();
    }

    void Select(tvl::FolderRecord* folder)
    {
        doc.m_pSelectedFolder = folder;
        doc.m_strSelectedPath = folder ? folder->strPath : std::string();
    }
};

inline void WriteFile(const QString& path, qint64 size)
{
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.resize(size);
}
