/* SPDX-License-Identifier: Apache-2.0 */
/* The least a wrapper of this design can do, and so the yardstick of the
 * wrappers' start-up cost: vfork, exec a fixed tool with "--plugin" and a
 * fixed plugin path ahead of the caller's arguments, wait, pass the status
 * on. No relocation, no lookup. */
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#ifndef BENCH_TOOL
#error "BENCH_TOOL must name the tool's absolute path"
#endif
#ifndef BENCH_PLUGIN
#error "BENCH_PLUGIN must name the plugin's absolute path"
#endif

int main(int argc, char **argv) {
    if (argc < 1) {
        return 1;
    }
    char *args[argc + 3];
    args[0] = (char *)BENCH_TOOL;
    args[1] = (char *)"--plugin";
    args[2] = (char *)BENCH_PLUGIN;
    for (int i = 1; i < argc; ++i) {
        args[i + 2] = argv[i];
    }
    args[argc + 2] = NULL;

    pid_t pid = vfork();
    if (pid == 0) {
        execv(args[0], args);
        _exit(127);
    }
    if (pid < 0) {
        return 1;
    }
    int status;
    if (waitpid(pid, &status, 0) < 0) {
        return 1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
