#include "ReportEdit.h"

#include "ReportBuilder.h"
#include "Scan.h"
#include "ScanEnvironment.h"

#include <algorithm>
#include <ctime>
#include <limits>
#include <new>
#include <set>

namespace tvl {

namespace {

bool StartsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// The last name of a report path without its backslash ("C:\a\b\" gives "b").
std::string_view LastName(std::string_view path)
{
    if (!path.empty() && path.back() == '\\')
        path.remove_suffix(1);
    const std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The time of an edit on disc: a folder that lost an item has just changed.
std::int64_t Now()
{
    return static_cast<std::int64_t>(std::time(nullptr));
}

} // namespace

void ReportEditor::AddToAncestors(FolderRecord& rec, const Delta& d)
{
    for (FolderRecord* p = rec.pParent; p; p = p->pParent) {
        p->nSpaceWithSubs += d.nSpace;
        p->nOtherWithSubs += d.nOther;
        p->nItemsWithSubs += d.nItems;
        p->nDescendants += d.nDescendants;
        p->nNewestChange = std::max(p->nNewestChange, d.nNewest);
    }
}

void ReportEditor::RecountMarks()
{
    if (!m_drive.bFolderFacts || !m_drive.pFacts)
        return;
    WalkCounts& counts = m_drive.pFacts->counts;
    counts.nUnreadable = counts.nOtherFs = 0;
    for (const FolderRecord* rec : m_drive.m_list) {
        if (rec->state == FolderState::OtherFs)
            ++counts.nOtherFs;
        else if (rec->state != FolderState::Read && rec->state != FolderState::LeftOut)
            ++counts.nUnreadable;
    }
}

void ReportEditor::Changed(FolderRecord& rec)
{
    if (!m_drive.bFolderFacts)
        return;
    const std::int64_t now = Now();
    for (FolderRecord* p = &rec; p; p = p->pParent)
        p->nNewestChange = std::max(p->nNewestChange, now);
}

void ReportEditor::UpdateShares()
{
    FolderRecord* root = m_drive.FirstFolder();
    if (!root)
        return;
    const std::int64_t total = root->nSpaceWithSubs;
    for (FolderRecord* rec : m_drive.m_list)
        SetShares(*rec, total);
    root->dPercentOfParent = root->dPercentOfDisc = -1.0;
}

void ReportEditor::RemoveRankEntries(const std::string& strFolderPrefix, std::vector<RankEntry>& gone)
{
    auto& r = m_drive.ranking;
    auto it = std::stable_partition(r.begin(), r.end(),
                                    [&](const RankEntry& e) { return !StartsWith(e.strLocation, strFolderPrefix); });
    gone.insert(gone.end(), std::make_move_iterator(it), std::make_move_iterator(r.end()));
    r.erase(it, r.end());
}

void ReportEditor::UpdateRanking(const std::vector<RankEntry>& gone, const std::vector<RankEntry>& added)
{
    DriveReport& d = m_drive;
    if (d.nRankingSize <= 0)
        return;
    if (d.bStoreFileNames) {
        // Every file is known: the ranking is what a scan of the report's files gives.
        d.ranking.clear();
        for (const FolderRecord* rec : d.m_list)
            for (const FileEntry& f : rec->files)
                if (d.Counts(*rec, f.strName)) // a file with several names ranks once
                    d.InsertRankEntry(f.strName, rec->strPath, f.nSize);
        d.bRankingIncomplete = false;
        return;
    }
    // Before the edit the ranking held the largest files of the drive. Files it did not
    // hold were no larger than its last entry when it was full; after entries left, any
    // of those may now belong in it, and the report does not know them.
    const std::size_t bound = static_cast<std::size_t>(d.nRankingSize);
    const std::size_t before = d.ranking.size() + gone.size();
    std::int64_t lastBefore = std::numeric_limits<std::int64_t>::max();
    for (const RankEntry& e : gone)
        lastBefore = std::min(lastBefore, e.nSize);
    if (!d.ranking.empty())
        lastBefore = std::min(lastBefore, d.ranking.back().nSize);
    for (const RankEntry& e : added)
        d.InsertRankEntry(e.strName, e.strLocation, e.nSize);
    const bool wasFull = before >= bound;
    if (wasFull && !gone.empty() && (d.ranking.size() < bound || d.ranking.back().nSize < lastBefore))
        d.bRankingIncomplete = true;
}

WalkResult ReportEditor::RefreshFolder(int nPos, ScanEnvironment& env, std::string& message)
{
    FolderRecord* rec = m_drive.GetFolder(nPos);
    if (!rec) {
        message = kMsgNoSuchFolder;
        return WalkResult::Failed;
    }
    try {
        // The subtree is read into a report of its own, then moved over.
        DriveReport sub;
        sub.cDrive = m_drive.cDrive;
        sub.bStoreFileNames = m_drive.bStoreFileNames;
        sub.nRankingSize = m_drive.nRankingSize;
        sub.bFolderFacts = m_drive.bFolderFacts;
        ReportBuilder builder(sub, ReportBuilder::Origin::Scan);
        const WalkResult result = WalkFolder(builder, rec->strPath, rec->nLevel, env, message);
        if (result != WalkResult::Complete)
            return result;
        SumSubtrees(sub);
        sub.SortFolders();
        Splice(*rec, static_cast<std::size_t>(nPos), sub);
        return WalkResult::Complete;
    } catch (const std::bad_alloc&) {
        message = kMsgOutOfMemory;
        return WalkResult::Failed;
    }
}

void ReportEditor::Splice(FolderRecord& rec, std::size_t pos, DriveReport& sub)
{
    std::vector<FolderRecord*>& list = m_drive.m_list;
    const std::size_t oldEnd = pos + 1 + static_cast<std::size_t>(rec.nDescendants);
    const FolderRecord& top = *sub.m_list.front();
    // Everything that can fail comes first: the new list and the new records.
    std::vector<FolderRecord*> next;
    next.reserve(list.size() - (oldEnd - pos) + sub.m_list.size());
    next.insert(next.end(), list.begin(), list.begin() + static_cast<std::ptrdiff_t>(pos) + 1);
    std::vector<FolderRecord*> byLevel{&rec}; // the newest record of each level below rec
    // The names of the new subtree that do not count, on the records they end up in.
    std::vector<std::pair<const FolderRecord*, std::string>> newMarks;
    if (!sub.m_uncounted.empty())
        for (const FileEntry& e : sub.m_list.front()->files)
            if (!sub.Counts(*sub.m_list.front(), e.strName))
                newMarks.emplace_back(&rec, e.strName);
    const bool childrenShown = rec.bVisible && rec.bExpanded;
    for (std::size_t i = 1; i < sub.m_list.size(); ++i) {
        FolderRecord& src = *sub.m_list[i];
        const std::size_t depth = static_cast<std::size_t>(src.nLevel - rec.nLevel);
        FolderRecord& copy = m_drive.m_records.emplace_back();
        copy.strPath = std::move(src.strPath);
        copy.files = std::move(src.files);
        copy.nSpaceWithoutSubs = src.nSpaceWithoutSubs;
        copy.nSpaceWithSubs = src.nSpaceWithSubs;
        CopyFacts(src, copy);
        copy.nLevel = src.nLevel;
        copy.nDescendants = src.nDescendants;
        copy.bHasSubFolders = src.nDescendants > 0 || src.bHasSubFolders;
        copy.bVisible = depth == 1 && childrenShown;
        copy.pParent = byLevel[depth - 1];
        if (!sub.m_uncounted.empty())
            for (const FileEntry& e : copy.files)
                if (!sub.Counts(src, e.strName))
                    newMarks.emplace_back(&copy, e.strName);
        byLevel.resize(depth);
        byLevel.push_back(&copy);
        next.push_back(&copy);
    }
    next.insert(next.end(), list.begin() + static_cast<std::ptrdiff_t>(oldEnd), list.end());

    // The marks of the old subtree go, those of the new one come (the set's nodes are
    // made first: inserting can fail, erasing cannot).
    std::set<std::pair<const FolderRecord*, std::string>> marks;
    for (auto& m : newMarks)
        marks.insert(std::move(m));
    // Nothing below throws.
    for (std::size_t i = pos; i < oldEnd; ++i)
        ForgetMarks(*list[i]);
    m_drive.m_uncounted.merge(marks);
    std::vector<RankEntry> gone;
    if (m_drive.nRankingSize > 0 && !m_drive.bStoreFileNames)
        RemoveRankEntries(rec.strPath, gone);
    Delta delta;
    delta.nSpace = top.nSpaceWithSubs - rec.nSpaceWithSubs;
    delta.nOther = top.nOtherWithSubs - rec.nOtherWithSubs;
    delta.nItems = top.nItemsWithSubs - rec.nItemsWithSubs;
    delta.nDescendants = top.nDescendants - rec.nDescendants;
    // The folders above keep the newest change they knew: a change below only moves it on.
    delta.nNewest = top.nNewestChange;
    rec.files = std::move(sub.m_list.front()->files);
    rec.nSpaceWithoutSubs = top.nSpaceWithoutSubs;
    rec.nSpaceWithSubs = top.nSpaceWithSubs;
    CopyFacts(top, rec);
    rec.nDescendants = top.nDescendants;
    if (top.nDescendants == 0)
        rec.bExpanded = false;
    rec.bHasSubFolders = top.nDescendants > 0 || (rec.nLevel < 2 && rec.bHasSubFolders);
    AddToAncestors(rec, delta);
    list.swap(next);
    m_drive.nFolders = static_cast<int>(list.size());
    UpdateShares();
    RecountMarks();
    if (!rec.pParent && !m_drive.bStoreFileNames) {
        // The whole drive was read again: its ranking is that of a fresh scan.
        m_drive.ranking = std::move(sub.ranking);
        m_drive.bRankingIncomplete = false;
        return;
    }
    UpdateRanking(gone, sub.ranking);
}

bool ReportEditor::RemoveFolder(int nPos)
{
    FolderRecord* rec = m_drive.GetFolder(nPos);
    if (!rec || !rec->pParent)
        return false;
    std::vector<FolderRecord*>& list = m_drive.m_list;
    const auto first = list.begin() + nPos;
    const auto last = first + 1 + rec->nDescendants;
    Delta delta;
    delta.nSpace = -rec->nSpaceWithSubs;
    delta.nOther = -rec->nOtherWithSubs;
    delta.nItems = -(rec->nItemsWithSubs + 1);
    delta.nDescendants = -(rec->nDescendants + 1);
    AddToAncestors(*rec, delta);
    Changed(*rec->pParent);
    for (auto it = first; it != last; ++it)
        ForgetMarks(**it);
    list.erase(first, last);
    m_drive.nFolders = static_cast<int>(list.size());
    FolderRecord* parent = rec->pParent;
    if (parent->nDescendants == 0 && parent->nLevel >= 2) {
        parent->bHasSubFolders = false;
        parent->bExpanded = false;
    }
    std::vector<RankEntry> gone;
    if (m_drive.nRankingSize > 0 && !m_drive.bStoreFileNames)
        RemoveRankEntries(rec->strPath, gone);
    UpdateShares();
    RecountMarks();
    UpdateRanking(gone, {});
    return true;
}

bool ReportEditor::RemoveFile(int nPos, std::string_view strName, std::int64_t nSize, std::int64_t nOtherSize)
{
    FolderRecord* rec = m_drive.GetFolder(nPos);
    if (!rec || nSize < 0)
        return false;
    if (m_drive.bStoreFileNames) {
        auto it = std::find_if(rec->files.begin(), rec->files.end(),
                               [&](const FileEntry& f) { return f.strName == strName && f.nSize == nSize; });
        if (it == rec->files.end())
            return false;
        Changed(*rec);
        if (!m_drive.Counts(*rec, it->strName)) {
            // A later name of a file counted under another name: it added nothing.
            m_drive.MarkCounted(*rec, it->strName);
            rec->files.erase(it);
            return true;
        }
        nOtherSize = it->nOtherSize;
        rec->files.erase(it);
    } else if (nSize > rec->nSpaceWithoutSubs ||
               (m_drive.bFolderFacts && (rec->nFiles == 0 || nOtherSize < 0 || nOtherSize > rec->nOtherWithoutSubs))) {
        return false;
    } else {
        Changed(*rec);
    }
    CountFile(*rec, nSize, nOtherSize, -1);
    std::vector<RankEntry> gone;
    auto& r = m_drive.ranking;
    auto it = std::find_if(r.begin(), r.end(), [&](const RankEntry& e) {
        return e.strName == strName && e.strLocation == rec->strPath && e.nSize == nSize;
    });
    if (it != r.end()) {
        gone.push_back(std::move(*it));
        r.erase(it);
    }
    UpdateShares();
    if (m_drive.bStoreFileNames || !gone.empty())
        UpdateRanking(gone, {});
    return true;
}

void ReportEditor::CountFile(FolderRecord& rec, std::int64_t nSize, std::int64_t nOtherSize, int nSign)
{
    const std::int64_t other = m_drive.bFolderFacts ? nOtherSize : 0;
    rec.nSpaceWithoutSubs += nSign * nSize;
    rec.nSpaceWithSubs += nSign * nSize;
    rec.nOtherWithoutSubs += nSign * other;
    rec.nOtherWithSubs += nSign * other;
    rec.nFiles += nSign;
    rec.nItemsWithSubs += nSign;
    Delta delta;
    delta.nSpace = nSign * nSize;
    delta.nOther = nSign * other;
    delta.nItems = nSign;
    AddToAncestors(rec, delta);
}

void ReportEditor::CopyFacts(const FolderRecord& from, FolderRecord& to)
{
    to.state = from.state;
    to.nFiles = from.nFiles;
    to.nItemsWithSubs = from.nItemsWithSubs;
    to.nOtherWithoutSubs = from.nOtherWithoutSubs;
    to.nOtherWithSubs = from.nOtherWithSubs;
    to.nNewestChange = from.nNewestChange;
}

void ReportEditor::ForgetMarks(const FolderRecord& rec)
{
    if (m_drive.m_uncounted.empty())
        return;
    auto it = m_drive.m_uncounted.lower_bound({&rec, std::string()});
    while (it != m_drive.m_uncounted.end() && it->first == &rec)
        it = m_drive.m_uncounted.erase(it);
}

bool ReportEditor::CountName(int nPos, const std::string& strName)
{
    FolderRecord* rec = m_drive.GetFolder(nPos);
    if (!rec || m_drive.Counts(*rec, strName))
        return false;
    auto it = std::find_if(rec->files.begin(), rec->files.end(), [&](const FileEntry& f) { return f.strName == strName; });
    if (it == rec->files.end())
        return false;
    m_drive.MarkCounted(*rec, strName);
    CountFile(*rec, it->nSize, it->nOtherSize, 1);
    UpdateShares();
    UpdateRanking({}, {});
    return true;
}

bool ReportEditor::UncountName(int nPos, const std::string& strName)
{
    FolderRecord* rec = m_drive.GetFolder(nPos);
    if (!rec || !m_drive.Counts(*rec, strName))
        return false;
    auto it = std::find_if(rec->files.begin(), rec->files.end(), [&](const FileEntry& f) { return f.strName == strName; });
    if (it == rec->files.end())
        return false;
    m_drive.MarkUncounted(*rec, strName);
    CountFile(*rec, it->nSize, it->nOtherSize, -1);
    UpdateShares();
    UpdateRanking({}, {});
    return true;
}

// Find ------------------------------------------------------------------------------

FindQuery MakeFindQuery(std::string text, bool bMatchCase)
{
    FindQuery q;
    q.bPattern = text.find_first_of("*?[") != std::string::npos;
    q.bMatchCase = bMatchCase;
    q.strPattern = std::move(text);
    return q;
}

namespace {

unsigned char Fold(unsigned char c, bool matchCase) { return matchCase ? c : FoldCase(c); }

// A bracket expression at p[0] == '[': matches c? Sets `end` past the ']'. An
// unclosed '[' is taken as a plain character.
bool MatchBracket(std::string_view p, unsigned char c, bool mc, std::size_t& end)
{
    std::size_t i = 1;
    const bool negate = i < p.size() && (p[i] == '!' || p[i] == '^');
    if (negate)
        ++i;
    bool hit = false;
    const std::size_t start = i;
    for (; i < p.size() && (p[i] != ']' || i == start); ++i) {
        unsigned char lo = Fold(static_cast<unsigned char>(p[i]), mc), hi = lo;
        if (i + 2 < p.size() && p[i + 1] == '-' && p[i + 2] != ']') {
            hi = Fold(static_cast<unsigned char>(p[i + 2]), mc);
            i += 2;
        }
        hit = hit || (c >= lo && c <= hi);
    }
    if (i >= p.size()) {
        end = 1;
        return c == '[';
    }
    end = i + 1;
    return hit != negate;
}

// Shell pattern match over the whole name, iterative with one star backtrack point.
bool MatchPattern(std::string_view p, std::string_view s, bool mc)
{
    std::size_t pi = 0, si = 0, starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        const unsigned char c = Fold(static_cast<unsigned char>(s[si]), mc);
        if (pi < p.size() && p[pi] == '*') {
            starP = ++pi;
            starS = si;
            continue;
        }
        std::size_t len = 1;
        bool ok = false;
        if (pi < p.size()) {
            if (p[pi] == '?')
                ok = true;
            else if (p[pi] == '[')
                ok = MatchBracket(p.substr(pi), c, mc, len);
            else
                ok = Fold(static_cast<unsigned char>(p[pi]), mc) == c;
        }
        if (ok) {
            pi += len;
            ++si;
        } else if (starP != std::string_view::npos) {
            pi = starP;
            si = ++starS;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

bool ContainsFolded(std::string_view hay, std::string_view needle, bool mc)
{
    if (needle.empty())
        return true;
    if (mc)
        return hay.find(needle) != std::string_view::npos;
    const unsigned char first = FoldCase(static_cast<unsigned char>(needle[0]));
    for (std::size_t i = 0; i + needle.size() <= hay.size(); ++i) {
        if (FoldCase(static_cast<unsigned char>(hay[i])) != first)
            continue;
        std::size_t k = 1;
        while (k < needle.size() && FoldCase(static_cast<unsigned char>(hay[i + k])) ==
                                        FoldCase(static_cast<unsigned char>(needle[k])))
            ++k;
        if (k == needle.size())
            return true;
    }
    return false;
}

} // namespace

bool MatchesName(const FindQuery& q, std::string_view name)
{
    return q.bPattern ? MatchPattern(q.strPattern, name, q.bMatchCase)
                      : ContainsFolded(name, q.strPattern, q.bMatchCase);
}

std::vector<FindHit> FindNames(const std::vector<const DriveReport*>& drives, const FindQuery& query,
                               std::size_t nMaxHits, std::size_t* pTotal)
{
    // Only the best nMaxHits are kept, in a heap whose front is the worst of them: a
    // pattern that matches every name costs no more memory than one that matches few.
    struct Ranked {
        FindHit hit;
        std::size_t order; // report order, for equal sizes
    };
    auto better = [](const Ranked& a, const Ranked& b) {
        return a.hit.nSize != b.hit.nSize ? a.hit.nSize > b.hit.nSize : a.order < b.order;
    };
    std::vector<Ranked> heap;
    std::size_t total = 0;
    auto offer = [&](const FindHit& h) {
        const Ranked r{h, total++};
        if (heap.size() < nMaxHits) {
            heap.push_back(r);
            std::push_heap(heap.begin(), heap.end(), better);
        } else if (nMaxHits > 0 && better(r, heap.front())) {
            std::pop_heap(heap.begin(), heap.end(), better);
            heap.back() = r;
            std::push_heap(heap.begin(), heap.end(), better);
        }
    };
    for (const DriveReport* d : drives) {
        if (!d)
            continue;
        const auto& list = d->Folders();
        for (std::size_t pos = 0; pos < list.size(); ++pos) {
            const FolderRecord& rec = *list[pos];
            const int p = static_cast<int>(pos);
            if (rec.pParent && MatchesName(query, LastName(rec.strPath)))
                offer(FindHit{d->cDrive, p, -1, rec.nSpaceWithSubs});
            for (std::size_t f = 0; f < rec.files.size(); ++f)
                if (MatchesName(query, rec.files[f].strName))
                    offer(FindHit{d->cDrive, p, static_cast<int>(f), rec.files[f].nSize});
        }
    }
    if (pTotal)
        *pTotal = total;
    std::sort_heap(heap.begin(), heap.end(), better);
    std::vector<FindHit> hits;
    hits.reserve(heap.size());
    for (const Ranked& r : heap)
        hits.push_back(r.hit);
    return hits;
}

} // namespace tvl
