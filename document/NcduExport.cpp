#include "NcduExport.h"

#include "PathNames.h"
#include "ScanFacts.h"

#include <map>
#include <ostream>
#include <set>
#include <utility>

namespace tvl {

namespace {

// A JSON string of raw bytes (see NcduExport.h).
void AppendString(std::string& out, std::string_view s)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c < 0x20) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else
            out += ch;
    }
    out += '"';
}

class DriveExporter {
public:
    DriveExporter(const DriveReport& drive, std::string& buf, std::ostream& out)
        : m_drive(drive), m_buf(buf), m_out(out), m_list(drive.Folders())
    {
    }

    // Writes the drive's tree with its root named `rootName`. Returns "" or the problem.
    std::string Write(const std::string& rootName)
    {
        if (m_list.empty()) {
            m_buf += "[{\"name\":";
            AppendString(m_buf, rootName);
            m_buf += "}]";
            return std::string();
        }
        m_rootName = rootName;
        PlanLinks();
        m_writing = true;
        Walk();
        return m_problem;
    }

private:
    using Ref = std::pair<const FolderRecord*, std::size_t>; // a stored file: its folder and index
    using Sizes = std::pair<std::int64_t, std::int64_t>;     // asize, dsize

    Sizes SizesOfFile(const FileEntry& f) const
    {
        if (!m_drive.bFolderFacts)
            return {f.nSize, f.nSize};
        return PrimaryKind(m_drive) == SizeKind::Length ? Sizes{f.nSize, f.nOtherSize} : Sizes{f.nOtherSize, f.nSize};
    }
    Sizes OwnSizes(const FolderRecord& rec) const
    {
        if (!m_drive.bFolderFacts)
            return {rec.nSpaceWithoutSubs, rec.nSpaceWithoutSubs};
        return PrimaryKind(m_drive) == SizeKind::Length ? Sizes{rec.nSpaceWithoutSubs, rec.nOtherWithoutSubs}
                                                        : Sizes{rec.nOtherWithoutSubs, rec.nSpaceWithoutSubs};
    }

    // Which names that did not count share an inode number with a name that did.
    void PlanLinks()
    {
        m_holds.assign(m_list.size(), false);
        if (m_drive.AllCount() || !m_drive.bStoreFileNames)
            return;
        for (const FolderRecord* rec : m_list)
            for (const FileEntry& f : rec->files)
                if (!m_drive.Counts(*rec, f.strName))
                    m_linkSizes.insert(SizesOfFile(f));
        // The folders whose subtree holds a counting name of such sizes go first among
        // their siblings, so that counting names come before the others where they can.
        for (std::size_t i = m_list.size(); i-- > 0;) {
            const FolderRecord& rec = *m_list[i];
            if (!m_holds[i])
                for (const FileEntry& f : rec.files)
                    if (m_drive.Counts(rec, f.strName) && m_linkSizes.count(SizesOfFile(f))) {
                        m_holds[i] = true;
                        break;
                    }
            if (m_holds[i] && i > 0)
                m_holds[ParentPos(i)] = true;
        }
        m_writing = false;
        Walk();
    }
    // The position of the parent of the folder at i (the nearest earlier folder of a
    // smaller level).
    std::size_t ParentPos(std::size_t i)
    {
        if (m_parentPos.empty()) {
            m_parentPos.assign(m_list.size(), 0);
            std::vector<std::size_t> open;
            for (std::size_t k = 0; k < m_list.size(); ++k) {
                while (!open.empty() && m_list[open.back()]->nLevel >= m_list[k]->nLevel)
                    open.pop_back();
                m_parentPos[k] = open.empty() ? 0 : open.back();
                open.push_back(k);
            }
        }
        return m_parentPos[i];
    }

    struct Open {
        std::size_t pos;
        std::vector<std::size_t> kids;
        std::size_t next = 0;
    };

    void Walk()
    {
        std::vector<Open> stack;
        OpenFolder(0, stack);
        while (!stack.empty() && m_problem.empty()) {
            Open& top = stack.back();
            if (top.next < top.kids.size()) {
                OpenFolder(top.kids[top.next++], stack);
                continue;
            }
            const FolderRecord& rec = *m_list[top.pos];
            for (std::size_t i = 0; i < rec.files.size(); ++i)
                if (!m_drive.Counts(rec, rec.files[i].strName))
                    File(rec, i, false);
            if (m_writing)
                m_buf += ']';
            stack.pop_back();
            Flush();
        }
    }

    void OpenFolder(std::size_t pos, std::vector<Open>& stack)
    {
        const FolderRecord& rec = *m_list[pos];
        Open o{pos, {}, 0};
        const std::size_t end = pos + 1 + static_cast<std::size_t>(rec.nDescendants);
        for (std::size_t c = pos + 1; c < end && c < m_list.size(); c += 1 + static_cast<std::size_t>(m_list[c]->nDescendants))
            (m_holds[c] ? o.kids : m_later).push_back(c);
        o.kids.insert(o.kids.end(), m_later.begin(), m_later.end());
        m_later.clear();
        if (m_writing) {
            m_buf += pos == 0 ? "[{\"name\":" : ",\n[{\"name\":";
            if (pos == 0)
                AppendString(m_buf, m_rootName);
            else {
                const std::string& parent = m_list[ParentPos(pos)]->strPath;
                const std::string_view step(rec.strPath.data() + parent.size(), rec.strPath.size() - parent.size() - 1);
                AppendString(m_buf, PathStepToName(step));
            }
            switch (rec.state) {
            case FolderState::Read: break;
            case FolderState::NoAccess:
            case FolderState::Vanished:
            case FolderState::ReadError: m_buf += ",\"read_error\":true"; break;
            case FolderState::OtherFs: m_buf += ",\"excluded\":\"otherfs\""; break;
            case FolderState::LeftOut: m_buf += ",\"excluded\":\"pattern\""; break;
            }
            if (m_drive.bFolderFacts && rec.nNewestChange >= 0)
                m_buf += ",\"mtime\":" + std::to_string(rec.nNewestChange);
            m_buf += '}';
        }
        if (m_drive.bStoreFileNames) {
            for (std::size_t i = 0; i < rec.files.size(); ++i)
                if (m_drive.Counts(rec, rec.files[i].strName))
                    File(rec, i, true);
        } else if (m_writing) {
            const Sizes own = OwnSizes(rec);
            if (own.first < 0 || own.second < 0)
                m_problem = "The report holds a negative size; it cannot be exported.";
            else if (own.first > 0 || own.second > 0)
                m_buf += ",\n{\"name\":\"<files>\",\"asize\":" + std::to_string(own.first) +
                         ",\"dsize\":" + std::to_string(own.second) + "}";
        }
        stack.push_back(std::move(o));
    }

    void File(const FolderRecord& rec, std::size_t i, bool counts)
    {
        const FileEntry& f = rec.files[i];
        Sizes sizes = SizesOfFile(f);
        const Ref ref{&rec, i};
        if (!m_writing) {
            if (!m_linkSizes.count(sizes))
                return;
            if (counts) {
                m_latest[sizes] = ref;
                return;
            }
            auto it = m_latest.find(sizes);
            if (it == m_latest.end())
                return;
            auto [first, made] = m_ino.emplace(it->second, m_nextIno);
            if (made) {
                m_links[m_nextIno] = 1;
                ++m_nextIno;
            }
            m_ino[ref] = first->second;
            ++m_links[first->second];
            return;
        }
        if (sizes.first < 0 || sizes.second < 0) {
            m_problem = "The report holds a negative size; it cannot be exported.";
            return;
        }
        const auto ino = m_ino.empty() ? m_ino.end() : m_ino.find(ref);
        if (!counts && ino == m_ino.end())
            sizes = {0, 0}; // no name to count it with: it adds nothing, as in the report
        m_buf += ",\n{\"name\":";
        AppendString(m_buf, f.strName);
        m_buf += ",\"asize\":" + std::to_string(sizes.first) + ",\"dsize\":" + std::to_string(sizes.second);
        if (ino != m_ino.end())
            m_buf += ",\"ino\":" + std::to_string(ino->second) + ",\"hlnkc\":true,\"nlink\":" +
                     std::to_string(m_links[ino->second]);
        if (m_drive.bFolderFacts && f.nChange >= 0)
            m_buf += ",\"mtime\":" + std::to_string(f.nChange);
        m_buf += '}';
    }

    void Flush()
    {
        if (m_buf.size() >= (1u << 16)) {
            m_out.write(m_buf.data(), static_cast<std::streamsize>(m_buf.size()));
            m_buf.clear();
        }
    }

    const DriveReport& m_drive;
    std::string& m_buf;
    std::ostream& m_out;
    const std::vector<FolderRecord*>& m_list;
    std::string m_rootName;
    bool m_writing = false;
    std::string m_problem;
    std::vector<bool> m_holds;          // by position: the subtree holds a counting name of m_linkSizes
    std::vector<std::size_t> m_parentPos;
    std::vector<std::size_t> m_later;   // scratch: sub-folders that come after the others
    std::set<Sizes> m_linkSizes;        // sizes of the names that did not count
    std::map<Sizes, Ref> m_latest;      // the last counting name of such sizes so far
    std::map<Ref, std::uint64_t> m_ino; // names sharing a made-up inode number
    std::map<std::uint64_t, std::uint64_t> m_links; // names per made-up inode number
    std::uint64_t m_nextIno = 1;
};

} // namespace

std::string WriteNcduExport(std::ostream& out, const std::vector<std::unique_ptr<DriveReport>>& drives,
                            std::int64_t nTimestamp)
{
    std::string buf;
    buf += "[1,2,{\"progname\":\"tovaline\",\"progver\":";
    AppendString(buf, ProgramVersion());
    buf += ",\"timestamp\":" + std::to_string(nTimestamp < 0 ? 0 : nTimestamp) + "},\n";
    std::vector<const DriveReport*> list;
    for (const auto& d : drives)
        if (d)
            list.push_back(d.get());
    std::string problem;
    if (list.size() == 1) {
        const DriveReport& d = *list.front();
        problem = DriveExporter(d, buf, out).Write(d.pFacts && !d.pFacts->strDirectory.empty()
                                                       ? d.pFacts->strDirectory
                                                       : std::string(1, d.cDrive) + ":");
    } else {
        buf += "[{\"name\":\"Tovaline report\"}";
        for (const DriveReport* d : list) {
            buf += ",\n";
            problem = DriveExporter(*d, buf, out).Write(std::string(1, d->cDrive) + ":");
            if (!problem.empty())
                break;
        }
        buf += ']';
    }
    buf += "]\n";
    out.write(buf.data(), static_cast<std::streamsize>(buf.size()));
    return problem;
}

} // namespace tvl
