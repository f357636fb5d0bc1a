#include "AsUser.h"

#include <cstdio>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tvl::test {

bool CanActAsOtherUsers()
{
    return ::geteuid() == 0;
}

std::string RunInChild(const std::function<std::string()>& work)
{
    int pipeFds[2];
    if (::pipe(pipeFds) != 0)
        return "child failed: pipe";
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return "child failed: fork";
    }
    if (pid == 0) {
        ::close(pipeFds[0]);
        const std::string result = work();
        std::size_t done = 0;
        while (done < result.size()) {
            const ssize_t n = ::write(pipeFds[1], result.data() + done, result.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string out;
    char buf[4096];
    ssize_t n;
    while ((n = ::read(pipeFds[0], buf, sizeof buf)) > 0)
        out.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "child failed: ended abnormally";
    return out;
}

std::string RunAsUser(uid_t uid, gid_t gid, const std::function<std::string()>& work)
{
    return RunInChild([&] {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 || ::setresuid(uid, uid, uid) != 0)
            return std::string("child failed: cannot change ids");
        return work();
    });
}

int ProtectedSymlinks()
{
    int value = -1;
    if (std::FILE* f = std::fopen("/proc/sys/fs/protected_symlinks", "re")) {
        if (std::fscanf(f, "%d", &value) != 1)
            value = -1;
        std::fclose(f);
    }
    return value;
}

} // namespace tvl::test
