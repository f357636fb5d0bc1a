#include "ReportMerge.h"

#include "PathNames.h"
#include "ReportBuilder.h"

#include <algorithm>
#include <climits>
#include <set>

namespace tvl {

namespace {

// The longest directory a scan can have read: the system opens no longer path.
constexpr std::size_t kLongestDirectory = 4096;

// A directory's names, or false when it is no plain absolute path ("." or ".."
// steps, not beginning with '/'). Empty steps ("a//b", a trailing '/') are dropped.
bool SplitDirectory(const std::string& dir, std::vector<std::string>& steps)
{
    if (dir.empty() || dir[0] != '/')
        return false;
    std::size_t i = 1;
    while (i <= dir.size()) {
        std::size_t end = dir.find('/', i);
        if (end == std::string::npos)
            end = dir.size();
        std::string step = dir.substr(i, end - i);
        if (step == "." || step == "..")
            return false;
        if (!step.empty())
            steps.push_back(std::move(step));
        i = end + 1;
    }
    return true;
}

std::string JoinDirectory(const std::vector<std::string>& steps, std::size_t n)
{
    std::string dir;
    for (std::size_t i = 0; i < n; ++i)
        dir += "/" + steps[i];
    return dir.empty() ? "/" : dir;
}

bool StartsWith(const std::vector<std::string>& a, const std::vector<std::string>& prefix)
{
    return prefix.size() <= a.size() && std::equal(prefix.begin(), prefix.end(), a.begin());
}

// The folders between the common parent and the parts' roots, as a tree whose leaves
// are the parts.
struct Node {
    std::string step; // the folder's name in its report-path form
    std::vector<std::unique_ptr<Node>> kids;
    int part = -1; // the part whose root this is
};

class Merger {
public:
    Merger(std::vector<MergePart>& parts, MergeResult& result) : m_parts(parts), m_result(result) {}

    void Run()
    {
        if (!Check())
            return;
        MakeDrive();
        if (!m_result.strRefusal.empty())
            m_result.drive.reset();
    }

private:
    struct Part {
        DriveReport* drive = nullptr;
        std::vector<std::string> steps; // its directory's names
    };

    const std::string& Name(std::size_t i) const { return m_parts[i].strName; }

    bool Refuse(std::string why)
    {
        m_result.strRefusal = std::move(why);
        return false;
    }

    bool Check()
    {
        m_info.resize(m_parts.size());
        for (std::size_t i = 0; i < m_parts.size(); ++i) {
            const MergePart& p = m_parts[i];
            std::vector<std::unique_ptr<DriveReport>>& drives = *p.pDrives;
            if (drives.size() != 1 || !drives[0])
                return Refuse(Name(i) + " holds " + std::to_string(drives.size()) +
                              " drives; only reports of one drive (one directory) can be merged");
            DriveReport& d = *drives[0];
            if (!p.pFacts || !d.pFacts)
                return Refuse(Name(i) + " does not say which directory it was made from or how (it has no "
                                        "scan facts, as reports of older versions); it cannot be merged");
            if (!p.pFacts->bComplete)
                return Refuse(Name(i) + " is incomplete (its scan was stopped); only complete reports can be merged");
            if (d.nFolders == 0 || !d.FirstFolder())
                return Refuse(Name(i) + " holds no folder; it cannot be merged");
            // Every folder must lie below the root, whose path the merge replaces, and its
            // level must still fit after the steps above the root are added.
            const FolderRecord& root = *d.FirstFolder();
            for (const FolderRecord* rec : d.Folders()) {
                const std::int64_t depth = static_cast<std::int64_t>(rec->nLevel) - root.nLevel;
                if (rec != &root && (rec->strPath.compare(0, root.strPath.size(), root.strPath) != 0 || depth <= 0 ||
                                     depth > INT32_MAX - static_cast<std::int64_t>(kLongestDirectory)))
                    return Refuse(Name(i) + " is damaged: its folder " + rec->strPath + " is not below its root " +
                                  root.strPath);
            }
            m_info[i].drive = &d;
            const std::string& dir = d.pFacts->strDirectory;
            if (dir.size() > kLongestDirectory || !SplitDirectory(dir, m_info[i].steps))
                return Refuse(Name(i) + " was made from '" + dir.substr(0, 200) +
                              "', which is not a plain absolute directory; it cannot be merged");
        }
        for (std::size_t i = 1; i < m_parts.size(); ++i)
            if (std::string diff =
                    OptionsDifference(m_info[0].drive->pFacts->options, m_info[i].drive->pFacts->options);
                !diff.empty())
                return Refuse(Name(0) + " and " + Name(i) + " were measured differently (" + diff +
                              "); only reports made with the same options can be merged");
        for (std::size_t i = 0; i < m_parts.size(); ++i)
            for (std::size_t j = i + 1; j < m_parts.size(); ++j) {
                const std::string& a = m_info[i].drive->pFacts->strDirectory;
                const std::string& b = m_info[j].drive->pFacts->strDirectory;
                if (m_info[i].steps == m_info[j].steps)
                    return Refuse(Name(i) + " and " + Name(j) + " are reports of the same directory " + a +
                                  "; only reports of disjoint folders can be merged");
                if (StartsWith(m_info[j].steps, m_info[i].steps))
                    return Refuse(Name(i) + " and " + Name(j) + " overlap: " + b + " lies inside " + a +
                                  "; only reports of disjoint folders can be merged");
                if (StartsWith(m_info[i].steps, m_info[j].steps))
                    return Refuse(Name(i) + " and " + Name(j) + " overlap: " + a + " lies inside " + b +
                                  "; only reports of disjoint folders can be merged");
            }
        return true;
    }

    // The folder of a part or between parts, entered into the merged drive.
    void EmitNode(const Node& node, ReportBuilder& builder, const std::string& path, int level)
    {
        if (node.part >= 0) {
            EmitPart(static_cast<std::size_t>(node.part), builder, path, level);
            return;
        }
        FolderRecord& rec = builder.EnterFolder(path, level);
        m_made.insert(&rec);
        std::vector<const Node*> kids;
        for (const auto& k : node.kids)
            kids.push_back(k.get());
        // Path order, as a scan of the whole puts its folders.
        std::sort(kids.begin(), kids.end(), [](const Node* a, const Node* b) {
            return CompareFolderPaths(a->step + "\\", b->step + "\\") < 0;
        });
        for (const Node* k : kids)
            EmitNode(*k, builder, path + k->step + "\\", level + 1);
    }

    void EmitPart(std::size_t i, ReportBuilder& builder, const std::string& rootPath, int level)
    {
        DriveReport& src = *m_info[i].drive;
        DriveReport& dst = *m_result.drive;
        m_order.push_back(i);
        const FolderRecord& srcRoot = *src.FirstFolder();
        const std::size_t rootSize = srcRoot.strPath.size();
        for (FolderRecord* from : src.Folders()) {
            std::string path = rootPath;
            path.append(from->strPath, rootSize, std::string::npos);
            FolderRecord& to = builder.EnterFolder(std::move(path), level + (from->nLevel - srcRoot.nLevel));
            to.nSpaceWithoutSubs = from->nSpaceWithoutSubs;
            to.nSpaceWithSubs = from->nSpaceWithSubs;
            to.state = from->state;
            to.nFiles = from->nFiles;
            to.nItemsWithSubs = from->nItemsWithSubs;
            to.nOtherWithoutSubs = from->nOtherWithoutSubs;
            to.nOtherWithSubs = from->nOtherWithSubs;
            to.nNewestChange = from->nNewestChange;
            if (!dst.bStoreFileNames)
                continue;
            std::vector<std::string> uncounted;
            if (!src.AllCount())
                for (const FileEntry& f : from->files)
                    if (!src.Counts(*from, f.strName))
                        uncounted.push_back(f.strName);
            builder.SetFiles(std::move(from->files));
            for (std::string& name : uncounted)
                dst.MarkUncounted(to, std::move(name));
        }
    }

    // The made folders' sums from their children, in reverse list order (every child
    // is finished before its parent takes it). False when a sum does not fit.
    bool SumMadeFolders()
    {
        const std::vector<FolderRecord*>& list = m_result.drive->Folders();
        for (std::size_t i = list.size(); i-- > 1;) {
            const FolderRecord& rec = *list[i];
            FolderRecord* parent = rec.pParent;
            if (!parent || !m_made.count(parent))
                continue;
            if (__builtin_add_overflow(parent->nSpaceWithSubs, rec.nSpaceWithSubs, &parent->nSpaceWithSubs) ||
                __builtin_add_overflow(parent->nOtherWithSubs, rec.nOtherWithSubs, &parent->nOtherWithSubs) ||
                __builtin_add_overflow(parent->nItemsWithSubs, rec.nItemsWithSubs + 1, &parent->nItemsWithSubs))
                return false;
            parent->nNewestChange = std::max(parent->nNewestChange, rec.nNewestChange);
        }
        return true;
    }

    void MakeDrive()
    {
        // The deepest common parent.
        std::size_t common = m_info[0].steps.size();
        for (const Part& p : m_info) {
            std::size_t k = 0;
            while (k < common && k < p.steps.size() && p.steps[k] == m_info[0].steps[k])
                ++k;
            common = k;
        }
        Node top;
        for (std::size_t i = 0; i < m_info.size(); ++i) {
            Node* at = &top;
            for (std::size_t s = common; s < m_info[i].steps.size(); ++s) {
                const std::string step = NameToPathStep(m_info[i].steps[s]);
                auto it =
                    std::find_if(at->kids.begin(), at->kids.end(), [&](const auto& k) { return k->step == step; });
                if (it == at->kids.end()) {
                    at->kids.push_back(std::make_unique<Node>());
                    at->kids.back()->step = step;
                    it = at->kids.end() - 1;
                }
                at = it->get();
            }
            at->part = static_cast<int>(i);
        }

        m_result.drive = std::make_unique<DriveReport>();
        DriveReport& drive = *m_result.drive;
        const DriveReport& first = *m_info[0].drive;
        drive.cDrive = first.cDrive;
        const auto count = [&](bool DriveReport::*flag) {
            return std::count_if(m_info.begin(), m_info.end(), [&](const Part& p) { return p.drive->*flag; });
        };
        const auto parts = static_cast<std::ptrdiff_t>(m_info.size());
        const auto withNames = count(&DriveReport::bStoreFileNames), withFacts = count(&DriveReport::bFolderFacts);
        drive.bStoreFileNames = withNames == parts;
        drive.bFolderFacts = withFacts == parts;
        // Said when some part keeps them and another does not, naming the first without.
        bool namesNoted = withNames == parts || withNames == 0, factsNoted = withFacts == parts || withFacts == 0;
        int bound = INT_MAX;
        std::int64_t folders = 0;
        for (std::size_t i = 0; i < m_info.size(); ++i) {
            const DriveReport& d = *m_info[i].drive;
            if (!d.bStoreFileNames && !namesNoted) {
                namesNoted = true;
                m_result.notes.push_back(Name(i) + " keeps no file names, so the merged report keeps none");
            }
            if (!d.bFolderFacts && !factsNoted) {
                factsNoted = true;
                m_result.notes.push_back(Name(i) + " keeps no folder facts (file counts, states, change times), "
                                                   "so the merged report keeps none");
            }
            bound = std::min(bound, m_parts[i].bRanking ? std::max(d.nRankingSize, 0) : 0);
            folders += d.nFolders + static_cast<std::int64_t>(m_info[i].steps.size() - common);
        }
        if (folders > INT_MAX - 1) {
            Refuse("the parts hold more folders together than one report can");
            return;
        }
        for (std::size_t i = 0; i < m_info.size(); ++i) {
            const int own = m_parts[i].bRanking ? std::max(m_info[i].drive->nRankingSize, 0) : 0;
            if (own != bound) {
                m_result.notes.push_back(
                    bound == 0 ? Name(i) + " ranks its largest files and another part none, so the merged report "
                                           "has no ranking"
                               : Name(i) + " ranks its " + std::to_string(own) +
                                     " largest files, another part fewer; the merged ranking holds the " +
                                     std::to_string(bound) + " largest");
                break;
            }
        }
        drive.nRankingSize = bound;

        ReportBuilder builder(drive, ReportBuilder::Origin::File);
        EmitNode(top, builder, std::string(1, first.cDrive) + ":\\", 0);
        builder.Finish();
        if (!SumMadeFolders()) {
            Refuse("the parts' sizes add up to more than a report can hold");
            return;
        }
        FolderRecord* root = drive.FirstFolder();
        for (FolderRecord* rec : drive.Folders())
            SetShares(*rec, root->nSpaceWithSubs);
        root->dPercentOfParent = root->dPercentOfDisc = -1.0;

        // The ranking: the parts' in path order of their directories, the locations moved
        // below the common parent.
        if (bound > 0) {
            for (std::size_t i : m_order) {
                std::vector<RankEntry> ranking = std::move(m_info[i].drive->ranking);
                std::stable_sort(ranking.begin(), ranking.end(),
                                 [](const RankEntry& a, const RankEntry& b) { return a.nSize > b.nSize; });
                if (ranking.size() > static_cast<std::size_t>(bound))
                    ranking.resize(static_cast<std::size_t>(bound));
                const std::string& oldRoot = m_info[i].drive->FirstFolder()->strPath;
                std::string newRoot = root->strPath;
                for (std::size_t s = common; s < m_info[i].steps.size(); ++s)
                    AppendPathStep(newRoot, m_info[i].steps[s]);
                for (RankEntry& e : ranking)
                    if (e.strLocation.compare(0, oldRoot.size(), oldRoot) == 0)
                        e.strLocation = newRoot + e.strLocation.substr(oldRoot.size());
                MergeRanking(drive.ranking, ranking);
            }
            if (drive.ranking.size() > static_cast<std::size_t>(bound))
                drive.ranking.resize(static_cast<std::size_t>(bound));
        }
        m_result.bRanking = bound > 0;

        auto facts = std::make_unique<DriveFacts>();
        facts->strDirectory = JoinDirectory(m_info[0].steps, common);
        facts->strFsType = first.pFacts->strFsType;
        facts->options = first.pFacts->options;
        facts->nRankingSize = bound;
        for (const Part& p : m_info) {
            const DriveFacts& f = *p.drive->pFacts;
            if (f.strFsType != facts->strFsType)
                facts->strFsType.clear();
            facts->counts.nUnreadable += f.counts.nUnreadable;
            facts->counts.nOtherFs += f.counts.nOtherFs;
            facts->counts.nLeftOut += f.counts.nLeftOut;
        }
        drive.pFacts = std::move(facts);

        ReportFacts& rf = m_result.facts;
        rf.strProgramVersion = ProgramVersion();
        std::vector<std::string> hosts;
        for (std::size_t i = 0; i < m_parts.size(); ++i) {
            const ReportFacts& f = *m_parts[i].pFacts;
            if (std::find(hosts.begin(), hosts.end(), f.strHost) == hosts.end()) {
                hosts.push_back(f.strHost);
                rf.strHost += (hosts.size() > 1 ? ", " : "") + f.strHost;
            }
            rf.nStartTime = i ? std::min(rf.nStartTime, f.nStartTime) : f.nStartTime;
            rf.nEndTime = i ? std::max(rf.nEndTime, f.nEndTime) : f.nEndTime;
            rf.bComplete = rf.bComplete && f.bComplete;
        }
    }

    std::vector<MergePart>& m_parts;
    MergeResult& m_result;
    std::vector<Part> m_info;
    std::set<const FolderRecord*> m_made; // the folders between the common parent and the parts
    std::vector<std::size_t> m_order;    // the parts in the order they were placed
};

} // namespace

MergeResult MergeReports(std::vector<MergePart>& parts)
{
    MergeResult result;
    if (parts.empty()) {
        result.strRefusal = "there is no report to merge";
        return result;
    }
    Merger(parts, result).Run();
    return result;
}

} // namespace tvl
