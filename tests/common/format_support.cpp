#include "format_support.h"

#include "ReportBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <unistd.h>

namespace tvl::test {

std::string ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteWholeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string CopyWithoutBlock(const std::string& from, const std::string& to)
{
    const std::string bytes = ReadWholeFile(from);
    const std::size_t at = bytes.rfind("TvlFacts");
    EXPECT_NE(at, std::string::npos);
    WriteWholeFile(to, bytes.substr(0, at));
    return to;
}

DocFixture::DocFixture()
    : env{RealFileSystem(), drives, stepProgress, messages, pump}, doc(env)
{
}

std::string DocFixture::Message() const
{
    if (messages.messages.empty())
        return "";
    if (messages.messages.size() > 1)
        return "many";
    return messages.messages[0].caption + "|" + messages.messages[0].text;
}

DriveReport& AddDrive(ReportDocument& doc, char letter, bool storeFiles, const std::vector<FolderSpec>& folders,
                      std::vector<RankEntry> ranking)
{
    auto drive = std::make_unique<DriveReport>();
    drive->cDrive = letter;
    drive->bStoreFileNames = storeFiles;
    ReportBuilder builder(*drive, ReportBuilder::Origin::File);
    for (const FolderSpec& f : folders) {
        FolderRecord& r = builder.EnterFolder(f.path, f.level);
        r.nSpaceWithoutSubs = f.withoutSubs;
        r.nSpaceWithSubs = f.withSubs;
        r.dPercentOfParent = f.ofParent;
        r.dPercentOfDisc = f.ofDisc;
        r.files = f.files;
    }
    builder.Finish();
    drive->ranking = std::move(ranking);
    doc.m_pDriveReports.push_back(std::move(drive));
    doc.m_nDrives = static_cast<int>(doc.m_pDriveReports.size());
    return *doc.m_pDriveReports.back();
}

std::string Serialize(const ReportDocument& doc)
{
    auto& d = const_cast<ReportDocument&>(doc);
    std::string bytes;
    ReportWriter out(bytes);
    WriteReport(out, ReportContent{d.m_pDriveReports, d.m_nDrives, d.m_bRanking, d.m_rankingAll,
                                   d.m_facts ? &*d.m_facts : nullptr});
    return bytes;
}

std::string Le32(std::int32_t v)
{
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<std::size_t>(i)] = static_cast<char>(static_cast<std::uint32_t>(v) >> (8 * i));
    return s;
}

std::string Le64(std::int64_t v)
{
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i)
        s[static_cast<std::size_t>(i)] = static_cast<char>(static_cast<std::uint64_t>(v) >> (8 * i));
    return s;
}

std::string LeDouble(double v)
{
    std::int64_t bits;
    std::memcpy(&bits, &v, 8);
    return Le64(bits);
}

std::string Str(const std::string& s)
{
    return s + std::string(1, '\0');
}

std::string Header(std::int32_t version, std::int32_t ranking, std::int32_t total, std::int32_t drives)
{
    return "TovalineReportMQX" + Le32(version) + Le32(ranking) + Le32(total) + Le32(drives);
}

} // namespace tvl::test
