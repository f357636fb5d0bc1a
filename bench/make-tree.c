/*
 * make-tree: writes a large, deterministic benchmark tree of folders and
 * sparse files.  Driven by bench/make-tree.sh, which compiles it with gcc
 * and takes care of the completion marker.
 *
 *   make-tree DIR FOLDERS FILES [LEVELS]
 *
 * Without LEVELS the folder tree grows like a real disk: each new folder
 * hangs below a recently made one (long chains, like source trees) or below
 * any earlier one (broad fan-out, like home folders), depth capped at 24.
 * Files are spread unevenly (most folders hold a few, some hold hundreds).
 * About one folder in 4000 is a dot-folder (".cache", ".git", ...), with
 * its own sub-folders and files below it.
 *
 * With LEVELS the tree has exactly LEVELS levels below DIR, the same number
 * of folders on every level, each below a random folder of the level above,
 * and every folder holds FILES/FOLDERS files: a deep tree that still offers
 * breadth on every level.
 *
 * File sizes are set with ftruncate (no data blocks): one in ten is empty,
 * most are a few bytes to a few MB, a few are up to 4 GiB.
 * The same arguments always give the same tree.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <math.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static uint64_t rng_state = 0x9E3779B97F4A7C15ull;

static uint64_t rnd(void)
{
    /* xorshift64* */
    rng_state ^= rng_state >> 12;
    rng_state ^= rng_state << 25;
    rng_state ^= rng_state >> 27;
    return rng_state * 0x2545F4914F6CDD1Dull;
}

static double rnd01(void) { return (rnd() >> 11) * (1.0 / 9007199254740992.0); }

static void die(const char *what, const char *path)
{
    fprintf(stderr, "make-tree: %s %s: %s\n", what, path, strerror(errno));
    exit(1);
}

static const char *const words[] = {
    "src", "lib", "doc", "share", "include", "test", "data", "images", "music", "build",
    "cache", "config", "old", "backup", "photos", "2019", "2020", "2021", "project", "notes",
    "Downloads", "Videos", "archive", "tmp", "modules", "assets", "locale", "icons", "bin", "misc",
};
static const char *const dotnames[] = {".cache", ".git", ".config", ".local", ".thumbnails"};
static const char *const exts[] = {
    ".txt", ".c", ".h", ".jpg", ".png", ".mp3", ".pdf", ".o", ".so", ".html", ".json", "", ".gz", ".py",
};
#define COUNT(a) ((int)(sizeof(a) / sizeof((a)[0])))

typedef struct {
    int parent;
    int depth;
    int nfiles;
    char *path; /* full path */
} Folder;

static uint64_t file_size(void)
{
    double r = rnd01();
    if (r < 0.10)
        return 0;
    if (r < 0.995) /* 1 B .. 8 MB, log-uniform */
        return (uint64_t)exp(rnd01() * log(8.0 * 1024 * 1024));
    return (uint64_t)exp(log(8.0 * 1024 * 1024) + rnd01() * (log(4.0 * 1024 * 1024 * 1024) - log(8.0 * 1024 * 1024)));
}

int main(int argc, char **argv)
{
    if (argc < 4 || argc > 5) {
        fprintf(stderr, "usage: make-tree DIR FOLDERS FILES [LEVELS]\n");
        return 2;
    }
    const char *root = argv[1];
    long nfolders = atol(argv[2]);
    long nfiles = atol(argv[3]);
    long levels = argc == 5 ? atol(argv[4]) : 0;
    if (nfolders < 1 || nfiles < 0 || levels < 0 || (levels && nfolders <= levels)) {
        fprintf(stderr, "make-tree: bad counts\n");
        return 2;
    }

    Folder *f = calloc((size_t)nfolders, sizeof *f);
    if (!f)
        die("out of memory", "");
    f[0].parent = -1;
    f[0].path = strdup(root);
    char name[256];

    if (levels) {
        /* Folder 0 is the root; the others fill levels 1..LEVELS evenly. */
        long per = (nfolders - 1) / levels, extra = (nfolders - 1) % levels;
        long first = 1, prevFirst = 0, prevCount = 1;
        for (long l = 1; l <= levels; ++l) {
            long count = per + (l <= extra ? 1 : 0);
            for (long k = 0; k < count; ++k) {
                long i = first + k;
                f[i].parent = (int)(prevFirst + (long)(rnd() % (uint64_t)prevCount));
                f[i].depth = (int)l;
            }
            prevFirst = first;
            prevCount = count;
            first += count;
        }
        for (long i = 0; i < nfolders; ++i)
            f[i].nfiles = (int)(nfiles / nfolders + (i < nfiles % nfolders ? 1 : 0));
    } else {
        for (long i = 1; i < nfolders; ++i) {
            int p;
            for (;;) {
                if (rnd01() < 0.35) { /* near a recently made folder: chains */
                    long back = 1 + (long)(rnd() % 8);
                    p = (int)(i - back < 0 ? 0 : i - back);
                } else {
                    p = (int)(rnd() % (uint64_t)i);
                }
                if (f[p].depth < 24)
                    break;
            }
            f[i].parent = p;
            f[i].depth = f[p].depth + 1;
        }
        /* Heavy-tailed weights for the number of files per folder. */
        double *w = malloc((size_t)nfolders * sizeof *w), sum = 0;
        if (!w)
            die("out of memory", "");
        for (long i = 0; i < nfolders; ++i) {
            double e = -log(1.0 - rnd01());
            w[i] = e * e * e;
            sum += w[i];
        }
        long given = 0;
        for (long i = 0; i < nfolders; ++i) {
            f[i].nfiles = (int)floor(w[i] / sum * (double)nfiles);
            given += f[i].nfiles;
        }
        for (long i = 0; given < nfiles; i = (i + 7919) % nfolders, ++given)
            f[i].nfiles++;
        free(w);
    }

    /* Names and paths; parents always come before their children. */
    for (long i = 1; i < nfolders; ++i) {
        if (!levels && i % 4000 == 1999)
            snprintf(name, sizeof name, "%s%ld", dotnames[rnd() % COUNT(dotnames)], i);
        else
            snprintf(name, sizeof name, "%s_%ld", words[rnd() % COUNT(words)], i);
        const char *pp = f[f[i].parent].path;
        size_t len = strlen(pp) + 1 + strlen(name) + 1;
        f[i].path = malloc(len);
        if (!f[i].path)
            die("out of memory", "");
        snprintf(f[i].path, len, "%s/%s", pp, name);
    }

    if (mkdir(root, 0755) != 0 && errno != EEXIST)
        die("cannot create", root);
    for (long i = 1; i < nfolders; ++i)
        if (mkdir(f[i].path, 0755) != 0 && errno != EEXIST)
            die("cannot create", f[i].path);

    long made = 0;
    for (long i = 0; i < nfolders; ++i) {
        if (f[i].nfiles == 0)
            continue;
        int dfd = open(f[i].path, O_RDONLY | O_DIRECTORY);
        if (dfd < 0)
            die("cannot open", f[i].path);
        for (int k = 0; k < f[i].nfiles; ++k) {
            int wlen = 3 + (int)(rnd() % 14);
            const char *ext = exts[rnd() % COUNT(exts)];
            snprintf(name, sizeof name, "%.*s%s_%d%s", wlen, "file-report-data-item-", "", k, ext);
            int fd = openat(dfd, name, O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0)
                die("cannot create file in", f[i].path);
            if (ftruncate(fd, (off_t)file_size()) != 0)
                die("cannot size file in", f[i].path);
            close(fd);
            ++made;
        }
        close(dfd);
        if (i % 10000 == 0) {
            fprintf(stderr, "\rmake-tree: %ld folders, %ld files", i, made);
            fflush(stderr);
        }
    }
    fprintf(stderr, "\rmake-tree: %ld folders, %ld files\n", nfolders, made);
    return 0;
}
