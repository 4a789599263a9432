/* Real failures for process tests, preloaded into marrowvale-cli:

     MV_FAULT="CALL:PATH:BYTES:ERRNO[:once]"

   makes read() (and preadv2()), write() or close() (CALL) on a descriptor
   whose path contains PATH fail with ERRNO (a number) once BYTES bytes have
   gone through such descriptors; with "once" only the first such call fails
   and later ones go through, as after a transient fault. A close, syncfs,
   fsync or fdatasync fails at once (BYTES is not used). MV_READ_DELAY_US=N
   makes every read wait N microseconds first, so that a run lasts long
   enough for its background syncs. MV_NO_TMPFILE=1 makes open() and
   openat() refuse O_TMPFILE as NFS does, and MV_SHORT_WRITES=N makes every
   write move at most N bytes. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/uio.h>
#include <unistd.h>

static char g_call[16];
static char g_path[1024];
static long long g_after = -1;
static int g_errno;
static int g_once;
static long long g_bytes;
static int g_failed;

static void setup(void) {
    static int ready;
    if (__atomic_exchange_n(&ready, 1, __ATOMIC_ACQ_REL)) return;
    const char* setting = getenv("MV_FAULT");
    if (!setting) return;
    char once[16] = "";
    if (sscanf(setting, "%15[^:]:%1023[^:]:%lld:%d:%15s", g_call, g_path, &g_after, &g_errno,
               once) < 4) {
        g_after = -1;
        return;
    }
    g_once = strcmp(once, "once") == 0;
}

static int matches(const char* call, int fd) {
    setup();
    if (g_after < 0 || strcmp(call, g_call) != 0) return 0;
    char link[64], target[4096];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return 0;
    target[n] = '\0';
    return strstr(target, g_path) != NULL;
}

/* Whether this call fails; counts the bytes it would move otherwise. */
static int shouldFail(const char* call, int fd, size_t count) {
    if (!matches(call, fd)) return 0;
    if (g_once && __atomic_load_n(&g_failed, __ATOMIC_ACQUIRE)) return 0;
    long long before = __atomic_fetch_add(&g_bytes, (long long)count, __ATOMIC_ACQ_REL);
    const int atOnce = strcmp(call, "close") == 0 || strstr(call, "sync") != NULL;
    if (!atOnce && before + (long long)count <= g_after) return 0;
    __atomic_store_n(&g_failed, 1, __ATOMIC_RELEASE);
    errno = g_errno;
    return 1;
}

/* With MV_SHORT_WRITES=N every write moves at most N bytes, as a write to a
   nearly full disk or one cut short by a signal may. */
static size_t shortened(size_t count) {
    static long long limit = -1;
    if (limit < 0) {
        const char* setting = getenv("MV_SHORT_WRITES");
        limit = setting ? atoll(setting) : 0;
    }
    return limit > 0 && count > (size_t)limit ? (size_t)limit : count;
}

ssize_t write(int fd, const void* buffer, size_t count) {
    static ssize_t (*next)(int, const void*, size_t);
    if (!next) next = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    if (shouldFail("write", fd, count)) return -1;
    return next(fd, buffer, shortened(count));
}

static void readDelay(void) {
    static long long delay = -1;
    if (delay < 0) {
        const char* setting = getenv("MV_READ_DELAY_US");
        delay = setting ? atoll(setting) : 0;
    }
    if (delay > 0) usleep((useconds_t)delay);
}

ssize_t read(int fd, void* buffer, size_t count) {
    static ssize_t (*next)(int, void*, size_t);
    if (!next) next = (ssize_t(*)(int, void*, size_t))dlsym(RTLD_NEXT, "read");
    readDelay();
    if (shouldFail("read", fd, count)) return -1;
    return next(fd, buffer, count);
}

/* Sources in the page cache are read with preadv2, as reads all the same. */
ssize_t preadv2(int fd, const struct iovec* parts, int count, off_t offset, int flags) {
    static ssize_t (*next)(int, const struct iovec*, int, off_t, int);
    if (!next)
        next = (ssize_t(*)(int, const struct iovec*, int, off_t, int))dlsym(RTLD_NEXT, "preadv2");
    readDelay();
    size_t bytes = 0;
    for (int i = 0; i < count; ++i) bytes += parts[i].iov_len;
    if (shouldFail("read", fd, bytes)) return -1;
    return next(fd, parts, count, offset, flags);
}

int close(int fd) {
    static int (*next)(int);
    if (!next) next = (int (*)(int))dlsym(RTLD_NEXT, "close");
    if (shouldFail("close", fd, 0)) {
        next(fd); /* the descriptor is gone, as after a real failed close */
        errno = g_errno;
        return -1;
    }
    return next(fd);
}

static int refuseTmpfile(int flags) {
    const char* no = getenv("MV_NO_TMPFILE");
    if (no && *no == '1' && (flags & O_TMPFILE) == O_TMPFILE) {
        errno = EOPNOTSUPP;
        return 1;
    }
    return 0;
}

typedef int (*OpenCall)(const char*, int, ...);

/* open and open64 alike: the mode is there only when a file may be made. */
static int openVia(const char* name, OpenCall* next, const char* path, int flags, va_list args) {
    if (!*next) *next = (OpenCall)dlsym(RTLD_NEXT, name);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    if (refuseTmpfile(flags)) return -1;
    return (*next)(path, flags, mode);
}

int open(const char* path, int flags, ...) {
    static OpenCall next;
    va_list args;
    va_start(args, flags);
    int fd = openVia("open", &next, path, flags, args);
    va_end(args);
    return fd;
}

int open64(const char* path, int flags, ...) {
    static OpenCall next;
    va_list args;
    va_start(args, flags);
    int fd = openVia("open64", &next, path, flags, args);
    va_end(args);
    return fd;
}

typedef int (*OpenAtCall)(int, const char*, int, ...);

/* The same for files opened in a folder given by its descriptor. */
static int openAtVia(const char* name, OpenAtCall* next, int folder, const char* path, int flags,
                     va_list args) {
    if (!*next) *next = (OpenAtCall)dlsym(RTLD_NEXT, name);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    if (refuseTmpfile(flags)) return -1;
    return (*next)(folder, path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
    static OpenAtCall next;
    va_list args;
    va_start(args, flags);
    int fd = openAtVia("openat", &next, folder, path, flags, args);
    va_end(args);
    return fd;
}

int openat64(int folder, const char* path, int flags, ...) {
    static OpenAtCall next;
    va_list args;
    va_start(args, flags);
    int fd = openAtVia("openat64", &next, folder, path, flags, args);
    va_end(args);
    return fd;
}

/* The syncs fail as a write-back error is told: once per call that sees it. */
#define SYNC_CALL(NAME)                                                      \
    int NAME(int fd) {                                                       \
        static int (*next)(int);                                             \
        if (!next) next = (int (*)(int))dlsym(RTLD_NEXT, #NAME);             \
        if (shouldFail(#NAME, fd, 0)) return -1;                             \
        return next(fd);                                                     \
    }
SYNC_CALL(syncfs)
SYNC_CALL(fsync)
SYNC_CALL(fdatasync)
