// Replacing a file so that it is never seen half written and never lost.
//
// The new content is written to a temporary file beside the file it replaces (same
// folder, so same file system), flushed to disc, given the old file's owner, group
// and permissions, and then renamed over the old name; the folder is flushed too, so
// that the rename survives a crash. Until Commit succeeds the old file is untouched,
// and every way out removes the temporary file.
//
// The name is treated as the kernel treats it when the user opens it for writing, and
// nothing is written where that open would be refused:
// - An existing name is opened for writing (without creating or truncating it) before
//   anything else happens. Permissions, read-only mounts, immutable files and the
//   system's protection of links in world-writable sticky folders
//   (fs.protected_symlinks) therefore decide exactly as for any other program.
// - A symbolic link is followed only through that open: the file it leads to is
//   replaced and the link itself stays as it is. A link that leads nowhere (dangling)
//   or into a loop is refused and left as it is; it is never replaced by a file.
// - Only regular files are replaced: a folder, pipe, socket or device is refused.
// - A writer may ask that files beginning with given bytes (a report's magic) are
//   refused too.
// - Replacing needs the right to write the folder as well: a writable file in a folder
//   the user may not write is refused rather than overwritten in place, where a failed
//   write would destroy it.
// - A name that does not exist yet is created; if another file appears under that name
//   before the rename, the save is refused rather than replacing it.
// Owner and group are kept where the process may set them (always for root; for
// others the group when they belong to it); a file the process may not give away
// ends up owned by the process, as with any program that saves by renaming. Hard
// links to the old file keep the old content. Extended attributes and access control
// lists of the old file are not copied.
//
// The temporary name is short (".tvl-" and 8 random characters), so any name the file
// system accepts can be saved. No Qt, no global state; one object per file.
#pragma once

#include <string>
#include <sys/types.h>

namespace tvl {

class AtomicFile {
public:
    // Where a failure happened: before any byte could be written (the file cannot be
    // created or may not be replaced), or while writing or putting the file in place.
    enum class Stage { None, Create, Write };

    AtomicFile() = default;
    // Removes the temporary file unless Commit succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Before Begin: an existing file whose first bytes are `head` is refused rather
    // than replaced (a picture or a table must never cost a report file). Without
    // this, any regular file may be replaced.
    void RefuseFilesBeginningWith(std::string head) { m_strRefusedHead = std::move(head); }

    // Checks that pathName may be written and creates the temporary file. Returns
    // false (Stage::Create, Reason() says why) when the name may not be written;
    // nothing on disc was changed then. Call once per object.
    bool Begin(const std::string& pathName);

    // The temporary file, open for writing, after a successful Begin; -1 otherwise.
    // Owned by this object: write to it, do not close it.
    int Fd() const { return m_fd; }

    // Tells the object that writing to Fd() failed with errno `error`; Commit then
    // fails with that reason and removes the temporary file.
    void SetWriteError(int error);

    // Flushes the temporary file, gives it the old file's owner, group and mode, and
    // renames it over the file that Begin found. Returns false (Stage::Write) when any
    // of this fails; the old file is then as it was and the temporary file is gone.
    bool Commit();

    // True when Begin found an existing file to replace (directly or through a link).
    bool Existed() const { return m_bExisted; }
    Stage FailedStage() const { return m_stage; }
    // The errno of the failure, 0 when the reason is not a system error.
    int Error() const { return m_errno; }
    // Why it failed, as one or two sentences for the user: the system's text for the
    // error ("Permission denied.") and, for links, what happened to the link.
    const std::string& Reason() const { return m_reason; }

private:
    bool FindTarget(const std::string& pathName);
    bool OpenFolder(const std::string& folder);
    bool CreateTemporary();
    bool PutInPlace();
    bool Fail(Stage stage, int error, const std::string& note = std::string());
    void Discard();

    int m_fd = -1;                 // the temporary file
    int m_dirFd = -1;              // the folder of the file to write
    bool m_bDirSyncable = false;   // m_dirFd may be flushed (not an O_PATH descriptor)
    std::string m_strBaseName;     // name of the file inside that folder
    std::string m_strTempName;     // name of the temporary file there; "" when none
    bool m_bExisted = false;
    bool m_bThroughLink = false;   // the name given was a symbolic link
    uid_t m_uid = 0;               // the old file's owner, group and mode
    gid_t m_gid = 0;
    mode_t m_mode = 0;
    dev_t m_dev = 0;               // and its identity, checked before the rename
    ino_t m_ino = 0;
    int m_writeError = 0;
    std::string m_strRefusedHead;  // see RefuseFilesBeginningWith
    Stage m_stage = Stage::None;
    int m_errno = 0;
    std::string m_reason;
};

} // namespace tvl
