/* A file system that shows a folder slowly, and can stop answering: a stand-in for a network
 * share, for trying the program and for the tests and benchmarks of a library on such a share.
 *
 *   quillrack_slowfs SOURCE MOUNTPOINT [DELAY_MS] [-f]
 *
 * Every call waits DELAY_MS (0 by default). SIGUSR1 stops the share: every call then waits until
 * SIGUSR2 lets it go on. Unmount with `fusermount3 -u MOUNTPOINT`. */
#define FUSE_USE_VERSION 31
#define _GNU_SOURCE
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <fuse.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

static int source = -1;
static long delayMs = 0;
static volatile sig_atomic_t stopped = 0;

static void stop(int sig)
{
    stopped = 1;
    (void)sig;
}
static void resume(int sig)
{
    stopped = 0;
    (void)sig;
}

static void sleepMs(long ms)
{
    struct timespec t = {ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) != 0 && errno == EINTR) { }
}

/* Every call passes here: the delay, then the gate. A call that its caller takes back (a
 * process that ends) fails, as on a network share; the null path makes it fail. */
static const char *gate(const char *path)
{
    if (delayMs > 0)
        sleepMs(delayMs);
    while (stopped && !fuse_interrupted())
        sleepMs(10);
    if (fuse_interrupted())
        return NULL;
    return path[1] ? path + 1 : ".";
}

#define ERR(x) ((x) < 0 ? -errno : 0)

static int fsGetattr(const char *path, struct stat *st, struct fuse_file_info *fi)
{
    (void)fi;
    return ERR(fstatat(source, gate(path), st, AT_SYMLINK_NOFOLLOW));
}

static int fsReaddir(const char *path, void *buf, fuse_fill_dir_t fill, off_t off,
                     struct fuse_file_info *fi, enum fuse_readdir_flags flags)
{
    (void)off, (void)fi, (void)flags;
    const int fd = openat(source, gate(path), O_RDONLY | O_DIRECTORY);
    DIR *dir = fd < 0 ? NULL : fdopendir(fd);
    if (!dir)
        return -errno;
    for (struct dirent *e; (e = readdir(dir));) {
        struct stat st = {.st_ino = e->d_ino, .st_mode = (mode_t)DTTOIF(e->d_type)};
        fill(buf, e->d_name, &st, 0, 0);
    }
    closedir(dir);
    return 0;
}

static int fsOpen(const char *path, struct fuse_file_info *fi)
{
    const int fd = openat(source, gate(path), fi->flags & ~O_NOFOLLOW);
    fi->fh = (uint64_t)fd;
    return ERR(fd);
}

static int fsCreate(const char *path, mode_t mode, struct fuse_file_info *fi)
{
    const int fd = openat(source, gate(path), fi->flags | O_CREAT, mode);
    fi->fh = (uint64_t)fd;
    return ERR(fd);
}

static int fsRead(const char *path, char *buf, size_t size, off_t off, struct fuse_file_info *fi)
{
    gate(path);
    const ssize_t n = pread((int)fi->fh, buf, size, off);
    return n < 0 ? -errno : (int)n;
}

static int fsWrite(const char *path, const char *buf, size_t size, off_t off,
                   struct fuse_file_info *fi)
{
    gate(path);
    const ssize_t n = pwrite((int)fi->fh, buf, size, off);
    return n < 0 ? -errno : (int)n;
}

static int fsRelease(const char *path, struct fuse_file_info *fi)
{
    (void)path;
    close((int)fi->fh);
    return 0;
}

static int fsFsync(const char *path, int data, struct fuse_file_info *fi)
{
    (void)data;
    gate(path);
    return ERR(fsync((int)fi->fh));
}

static int fsMkdir(const char *path, mode_t mode)
{
    return ERR(mkdirat(source, gate(path), mode));
}
static int fsRmdir(const char *path)
{
    return ERR(unlinkat(source, gate(path), AT_REMOVEDIR));
}
static int fsUnlink(const char *path)
{
    return ERR(unlinkat(source, gate(path), 0));
}

static int fsRename(const char *from, const char *to, unsigned int flags)
{
    return ERR(renameat2(source, gate(from), source, gate(to), flags));
}

static int fsTruncate(const char *path, off_t size, struct fuse_file_info *fi)
{
    gate(path);
    return ERR(fi ? ftruncate((int)fi->fh, size) : truncate(path + 1, size));
}

static int fsUtimens(const char *path, const struct timespec tv[2], struct fuse_file_info *fi)
{
    (void)fi;
    return ERR(utimensat(source, gate(path), tv, AT_SYMLINK_NOFOLLOW));
}

static int fsChmod(const char *path, mode_t mode, struct fuse_file_info *fi)
{
    (void)fi;
    return ERR(fchmodat(source, gate(path), mode, 0));
}

static int fsStatfs(const char *path, struct statvfs *st)
{
    gate(path);
    return ERR(fstatvfs(source, st));
}

static int fsFlock(const char *path, struct fuse_file_info *fi, int op)
{
    gate(path);
    return ERR(flock((int)fi->fh, op));
}

static void *fsInit(struct fuse_conn_info *conn, struct fuse_config *cfg)
{
    (void)conn;
    cfg->use_ino = 1;
    cfg->attr_timeout = 0; /* every look reaches the share, as on a share with no cache */
    cfg->entry_timeout = 0;
    cfg->negative_timeout = 0;
    return NULL;
}

static const struct fuse_operations ops = {
    .init = fsInit,
    .getattr = fsGetattr,
    .readdir = fsReaddir,
    .open = fsOpen,
    .create = fsCreate,
    .read = fsRead,
    .write = fsWrite,
    .release = fsRelease,
    .fsync = fsFsync,
    .mkdir = fsMkdir,
    .rmdir = fsRmdir,
    .unlink = fsUnlink,
    .rename = fsRename,
    .truncate = fsTruncate,
    .utimens = fsUtimens,
    .chmod = fsChmod,
    .statfs = fsStatfs,
    .flock = fsFlock,
};

int main(int argc, char *argv[])
{
    if (argc < 3) {
        fprintf(stderr, "usage: %s SOURCE MOUNTPOINT [DELAY_MS] [-f]\n", argv[0]);
        return 2;
    }
    char *mountpoint = realpath(argv[2], NULL);
    if (!mountpoint) {
        perror(argv[2]);
        return 1;
    }
    source = open(argv[1], O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (source < 0) {
        perror(argv[1]);
        return 1;
    }
    if (fchdir(source) != 0) /* truncate() without a handle is relative to the source */
        return 1;
    delayMs = argc > 3 && argv[3][0] != '-' ? atol(argv[3]) : 0;
    signal(SIGUSR1, stop);
    signal(SIGUSR2, resume);
    char *args[]
        = {argv[0], mountpoint, "-o", "fsname=quillrack-slowfs,default_permissions", NULL, NULL};
    int n = 4;
    for (int i = 3; i < argc; ++i)
        if (strcmp(argv[i], "-f") == 0)
            args[n++] = "-f";
    return fuse_main(n, args, &ops, NULL);
}
