/*
 * floor-walker: the least work a full scan must do, as the floor of the
 * benchmarks.  N threads (default 2) read every directory below DIR
 * (getdents64) and fstatat every entry relative to the directory's
 * descriptor; nothing is kept but a byte total and two counts.
 *
 *   floor-walker [-t N] DIR
 *
 * Prints "BYTES FOLDERS FILES" (apparent sizes, directories counted as 0).
 * Directories on other file systems are not entered; nothing else is
 * skipped.  Build: gcc -O2 -pthread -o floor-walker floor-walker.c
 */
#define _GNU_SOURCE
#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

struct linux_dirent64 {
    uint64_t d_ino;
    int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[];
};

static pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t cond = PTHREAD_COND_INITIALIZER;
static char **stack;
static size_t nstack, capstack;
static long busy; /* workers holding a directory */
static dev_t rootdev;
static uint64_t total_bytes, total_dirs, total_files;

static void push_locked(char *path)
{
    if (nstack == capstack) {
        capstack = capstack ? capstack * 2 : 1024;
        stack = realloc(stack, capstack * sizeof *stack);
        if (!stack) {
            perror("floor-walker");
            exit(1);
        }
    }
    stack[nstack++] = path;
}

static void *worker(void *arg)
{
    (void)arg;
    char *buf = malloc(64 * 1024);
    char **found = NULL;
    size_t nfound = 0, capfound = 0;
    uint64_t bytes = 0, dirs = 0, files = 0;
    for (;;) {
        pthread_mutex_lock(&lock);
        while (nstack == 0 && busy > 0)
            pthread_cond_wait(&cond, &lock);
        if (nstack == 0) {
            pthread_cond_broadcast(&cond);
            pthread_mutex_unlock(&lock);
            break;
        }
        char *path = stack[--nstack];
        ++busy;
        pthread_mutex_unlock(&lock);

        ++dirs;
        int fd = open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0) {
            size_t plen = strlen(path);
            for (;;) {
                long n = syscall(SYS_getdents64, fd, buf, 64 * 1024);
                if (n <= 0)
                    break;
                for (long off = 0; off < n;) {
                    struct linux_dirent64 *d = (struct linux_dirent64 *)(buf + off);
                    off += d->d_reclen;
                    const char *nm = d->d_name;
                    if (nm[0] == '.' && (nm[1] == 0 || (nm[1] == '.' && nm[2] == 0)))
                        continue;
                    struct stat st;
                    if (fstatat(fd, nm, &st, AT_SYMLINK_NOFOLLOW) != 0)
                        continue;
                    if (S_ISDIR(st.st_mode)) {
                        if (st.st_dev != rootdev)
                            continue;
                        size_t nlen = strlen(nm);
                        char *child = malloc(plen + 1 + nlen + 1);
                        memcpy(child, path, plen);
                        child[plen] = '/';
                        memcpy(child + plen + 1, nm, nlen + 1);
                        if (nfound == capfound) {
                            capfound = capfound ? capfound * 2 : 64;
                            found = realloc(found, capfound * sizeof *found);
                        }
                        found[nfound++] = child;
                    } else {
                        bytes += (uint64_t)st.st_size;
                        ++files;
                    }
                }
            }
            close(fd);
        }
        free(path);

        pthread_mutex_lock(&lock);
        for (size_t i = nfound; i > 0; --i)
            push_locked(found[i - 1]);
        --busy;
        if (nfound > 0 || busy == 0)
            pthread_cond_broadcast(&cond);
        pthread_mutex_unlock(&lock);
        nfound = 0;
    }
    pthread_mutex_lock(&lock);
    total_bytes += bytes;
    total_dirs += dirs;
    total_files += files;
    pthread_mutex_unlock(&lock);
    free(found);
    free(buf);
    return NULL;
}

int main(int argc, char **argv)
{
    int threads = 2;
    int opt;
    while ((opt = getopt(argc, argv, "t:")) != -1) {
        if (opt == 't')
            threads = atoi(optarg);
        else
            goto usage;
    }
    if (optind != argc - 1 || threads < 1 || threads > 256)
        goto usage;
    struct stat st;
    if (stat(argv[optind], &st) != 0 || !S_ISDIR(st.st_mode)) {
        fprintf(stderr, "floor-walker: %s is not a directory\n", argv[optind]);
        return 1;
    }
    rootdev = st.st_dev;
    push_locked(strdup(argv[optind]));
    pthread_t tid[256];
    for (int i = 0; i < threads; ++i)
        pthread_create(&tid[i], NULL, worker, NULL);
    for (int i = 0; i < threads; ++i)
        pthread_join(tid[i], NULL);
    printf("%llu %llu %llu\n", (unsigned long long)total_bytes, (unsigned long long)total_dirs,
           (unsigned long long)total_files);
    return 0;
usage:
    fprintf(stderr, "usage: floor-walker [-t N] DIR\n");
    return 2;
}
