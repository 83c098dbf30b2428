/* SPDX-License-Identifier: Apache-2.0 */
/* Stands in for ar, nm and ranlib in the tests: shows what it was given and
 * ends the way the environment asks. Plain C with no other dependency, so
 * that the build machine's compiler alone can build it; linked statically
 * where it can be, so that a library preloaded into a wrapper never follows
 * it into the tool. On Windows it is built as stand_in_tool.exe: its
 * arguments (the C runtime's wide parse, as a MinGW tool gets them) and
 * texts are shown in UTF-8, and its exit code is 32 bits.
 *   STAND_IN_STDERR=text      writes text to standard error first
 *   STAND_IN_CLOSE_STDOUT=1   closes standard output before anything is shown
 *   STAND_IN_SHOW=what        what goes to standard output: "argv" (the
 *                             default: every element, argv[0] included, on a
 *                             line of its own, byte for byte), "fds" ("fd N"
 *                             for every descriptor open at the start),
 *                             "size" ("argc N bytes M", M counting the NULs)
 *                             or "stdin" (standard input, copied)
 *   STAND_IN_FDS_TO=path      also writes the descriptor lines to the file path
 *   STAND_IN_FLOOD=1          then writes to standard output until a write
 *                             fails, and exits 42 (a default SIGPIPE ends it first)
 *   STAND_IN_SIGNAL=n         then raises signal n with its default disposition
 *                             (POSIX)
 *   STAND_IN_CORE=1           allows a core dump for that signal (none otherwise)
 *   STAND_IN_EXCEPTION=what   then ends with an exception nobody handles
 *                             (Windows): "access-violation", "stack-overflow"
 *                             or "fail-fast"
 *   STAND_IN_EXIT=n           exits with n (default 0); on Windows also in hex
 *                             (0xC0000005), all 32 bits */
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

/* Most descriptors listed; also the highest probed where /proc/self/fd is missing. */
enum { MAX_FDS = 4096 };

static int setting_is(const char *name, const char *value);

#ifdef _WIN32

/* The C runtime's calls and flags under their POSIX names. */
#define read _read
#define write _write
#define close _close

/* A new UTF-8 copy of `wide`, or null. */
static char *utf8(const wchar_t *wide) {
    int size = WideCharToMultiByte(CP_UTF8, 0, wide, -1, NULL, 0, NULL, NULL);
    char *text = size > 0 ? malloc((size_t)size) : NULL;
    if (text != NULL) {
        WideCharToMultiByte(CP_UTF8, 0, wide, -1, text, size, NULL, NULL);
    }
    return text;
}

/* The value of the environment variable `name` in UTF-8, or null when unset. */
static const char *setting(const char *name) {
    wchar_t wide_name[64];
    MultiByteToWideChar(CP_UTF8, 0, name, -1, wide_name, 64);
    const wchar_t *value = _wgetenv(wide_name);
    return value != NULL ? utf8(value) : NULL;
}

/* Opens the file `name` (UTF-8) for the descriptor listing, by its wide name
 * and in binary mode; a descriptor or -1. */
static int open_listing(const char *name) {
    wchar_t wide_name[MAX_PATH];
    if (MultiByteToWideChar(CP_UTF8, 0, name, -1, wide_name, MAX_PATH) == 0) {
        return -1;
    }
    return _wopen(wide_name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY | _O_NOINHERIT,
                  _S_IREAD | _S_IWRITE);
}

/* Lets a call given a descriptor that is not open fail with EBADF: the
 * system's C runtime would otherwise end the program (0xC0000417) when the
 * probe below meets a closed descriptor, or _setmode a closed standard one. */
static void ignore_invalid_parameter(const wchar_t *expression, const wchar_t *function,
                                     const wchar_t *file, unsigned line, uintptr_t reserved) {
    (void)expression;
    (void)function;
    (void)file;
    (void)line;
    (void)reserved;
}

/* The arguments in UTF-8, from the C runtime's wide parse of the command
 * line: the parse a real MinGW tool's arguments come from. */
static char **utf8_arguments(int argc, wchar_t **wide_argv) {
    char **arguments = calloc((size_t)argc + 1, sizeof *arguments);
    for (int i = 0; arguments != NULL && i < argc; ++i) {
        arguments[i] = utf8(wide_argv[i]);
    }
    return arguments;
}

/* Collects the open descriptors of the C runtime in ascending order. */
static size_t open_descriptors(int *fds) {
    size_t count = 0;
    for (int fd = 0; fd < MAX_FDS; ++fd) {
        if (_get_osfhandle(fd) != -1) {
            fds[count++] = fd;
        }
    }
    return count;
}

/* Recurses until the stack is gone; the frame's array keeps it from being a
 * loop, and the test the compiler cannot decide from calling it endless. */
static int overflow(volatile int depth) {
    volatile char frame[4096];
    frame[0] = (char)depth;
    if (depth < 0) {
        return 0;
    }
    return overflow(depth + 1) + frame[0];
}

/* Ends the program with the exception `what` names; returns for an unknown name. */
static void raise_exception(const char *what) {
    if (strcmp(what, "access-violation") == 0) {
        *(volatile int *)NULL = 0;
    } else if (strcmp(what, "stack-overflow") == 0) {
        overflow(0);
    } else if (strcmp(what, "fail-fast") == 0) {
        /* What the __fastfail intrinsic compiles to on x86-64. */
        __asm__ volatile("int $0x29" : : "c"(FAST_FAIL_FATAL_APP_EXIT));
    }
}

#else

static const char *setting(const char *name) {
    return getenv(name);
}

/* Opens the file `name` for the descriptor listing; a descriptor or -1. */
static int open_listing(const char *name) {
    return open(name, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
}

static int compare_ints(const void *left, const void *right) {
    int a = *(const int *)left;
    int b = *(const int *)right;
    return (a > b) - (a < b);
}

/* Collects the open descriptors in ascending order, leaving out the one used to list them. */
static size_t open_descriptors(int *fds) {
    size_t count = 0;
    DIR *directory = opendir("/proc/self/fd");
    if (directory == NULL) {
        for (int fd = 0; fd < MAX_FDS; ++fd) {
            if (fcntl(fd, F_GETFD) != -1) {
                fds[count++] = fd;
            }
        }
        return count;
    }
    struct dirent *entry;
    while ((entry = readdir(directory)) != NULL && count < MAX_FDS) {
        if (entry->d_name[0] != '.' && atoi(entry->d_name) != dirfd(directory)) {
            fds[count++] = atoi(entry->d_name);
        }
    }
    closedir(directory);
    qsort(fds, count, sizeof fds[0], compare_ints);
    return count;
}

/* Raises `signal_number` with its default disposition, a core allowed only when asked. */
static void raise_signal(int signal_number) {
    struct rlimit core_limit;
    if (getrlimit(RLIMIT_CORE, &core_limit) == 0) {
        core_limit.rlim_cur = setting_is("STAND_IN_CORE", "1") ? core_limit.rlim_max : 0;
        setrlimit(RLIMIT_CORE, &core_limit);
    }
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

#endif

/* Whether the environment variable `name` is `value`. */
static int setting_is(const char *name, const char *value) {
    const char *text = setting(name);
    return text != NULL && strcmp(text, value) == 0;
}

/* Writes the whole text to `fd`; 0 on success. */
static int write_all(int fd, const char *text, size_t length) {
    while (length > 0) {
        ssize_t wrote = write(fd, text, length);
        if (wrote <= 0) {
            return -1;
        }
        text += wrote;
        length -= (size_t)wrote;
    }
    return 0;
}

/* Writes "fd N" lines for the listed descriptors to `fd`. */
static void list_descriptors(const int *fds, size_t count, int fd) {
    char line[32];
    for (size_t i = 0; i < count; ++i) {
        int length = snprintf(line, sizeof line, "fd %d\n", fds[i]);
        write_all(fd, line, (size_t)length);
    }
}

/* The exit code STAND_IN_EXIT asks for: decimal; on Windows also hex, all 32 bits. */
static int exit_code(const char *text) {
#ifdef _WIN32
    return (int)strtoul(text, NULL, 0);
#else
    return atoi(text);
#endif
}

/* Shows what the tool was given and ends as asked; the exit status. */
static int run(int argc, char **argv) {
    static int fds[MAX_FDS];
    size_t fd_count = open_descriptors(fds);
#ifdef _WIN32
    /* Bytes as they are, no "\r\n" for "\n". */
    _setmode(0, _O_BINARY);
    _setmode(1, _O_BINARY);
    _setmode(2, _O_BINARY);
#endif
    const char *text = setting("STAND_IN_STDERR");
    if (text != NULL) {
        write_all(2, text, strlen(text));
    }
    if (setting_is("STAND_IN_CLOSE_STDOUT", "1")) {
        close(1);
    }
    if (setting_is("STAND_IN_SHOW", "fds")) {
        list_descriptors(fds, fd_count, 1);
    } else if (setting_is("STAND_IN_SHOW", "stdin")) {
        char block[4096];
        ssize_t got;
        while ((got = read(0, block, sizeof block)) > 0 && write_all(1, block, (size_t)got) == 0) {
        }
    } else if (setting_is("STAND_IN_SHOW", "size")) {
        size_t bytes = 0;
        for (int i = 0; i < argc; ++i) {
            bytes += strlen(argv[i]) + 1;
        }
        printf("argc %d bytes %zu\n", argc, bytes);
    } else {
        for (int i = 0; i < argc; ++i) {
            fwrite(argv[i], 1, strlen(argv[i]), stdout);
            putchar('\n');
        }
    }
    fflush(stdout);
    const char *listing = setting("STAND_IN_FDS_TO");
    if (listing != NULL) {
        int fd = open_listing(listing);
        if (fd >= 0) {
            list_descriptors(fds, fd_count, fd);
            close(fd);
        }
    }
    if (setting_is("STAND_IN_FLOOD", "1")) {
        static char block[65536];
        memset(block, 'y', sizeof block);
        while (write_all(1, block, sizeof block) == 0) {
        }
        return 42;
    }
#ifdef _WIN32
    const char *exception = setting("STAND_IN_EXCEPTION");
    if (exception != NULL) {
        raise_exception(exception);
    }
#else
    const char *signal_text = setting("STAND_IN_SIGNAL");
    if (signal_text != NULL) {
        raise_signal(atoi(signal_text));
    }
#endif
    const char *exit_text = setting("STAND_IN_EXIT");
    return exit_text != NULL ? exit_code(exit_text) : 0;
}

#ifdef _WIN32
/* The wide entry (-municode): the narrow argv would be in the ANSI code page. */
int wmain(int argc, wchar_t **argv) {
    _set_invalid_parameter_handler(ignore_invalid_parameter);
    char **arguments = utf8_arguments(argc, argv);
    return arguments != NULL ? run(argc, arguments) : 125;
}
#else
int main(int argc, char **argv) {
    return run(argc, argv);
}
#endif
