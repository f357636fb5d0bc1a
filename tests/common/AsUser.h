// Running a piece of a test as another, unprivileged user (the tests run as root in
// CI, who may write everything), and what the system's link protection is set to.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

namespace tvl::test {

// The unprivileged user the tests act as ("nobody", also used as its group id).
inline constexpr uid_t kNobody = 65534;

// True when the process may take on other user ids (it runs as root).
bool CanActAsOtherUsers();

// Runs `work` in a child process and returns the string it returned; "child failed:
// ..." when the child ended abnormally. For changes that must not reach the test
// process (other ids, a mount namespace of its own).
std::string RunInChild(const std::function<std::string()>& work);

// Runs `work` in a child process whose real, effective and saved user and group ids
// are uid and gid, without supplementary groups, and returns the string it returned.
// "child failed: ..." when the child could not take on the ids or ended abnormally.
std::string RunAsUser(uid_t uid, gid_t gid, const std::function<std::string()>& work);

// The value of fs.protected_symlinks: 1 when links in world-writable sticky folders
// are followed only for their owner or the folder's owner, 0 when always; -1 unknown.
int ProtectedSymlinks();

} // namespace tvl::test
