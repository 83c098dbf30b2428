// Test-only fault injection. libzin_fault.so interposes a fixed set of libc
// calls; linked into a test executable (or preloaded into a program with
// LD_PRELOAD) it makes chosen calls of one function fail and records sleeps
// instead of sleeping.
//
// Interposed: malloc calloc realloc pipe pipe2 vfork dup2 close open fdopen
// fcntl mkstemps wait4 waitpid read write realpath, and sleep (never sleeps:
// the seconds are recorded and 0 is returned). vfork is served by fork when it
// is not failed, so a test may return from it normally.
//
// In a preloaded program the environment arms it: ZIN_FAULT="function:nth[:errno]"
// fails the nth call (1-based) of that function with that errno (default: the
// function's natural error, e.g. ENOMEM for the allocators, EMFILE for pipe).
// ZIN_FAULT_COUNTS=path appends "function count\n" for every interposed
// function at exit, so a test can learn how many calls a whole run makes.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

// Fails calls first..first+count-1 (1-based, counted from now) of `function`
// with `error_number` (0: the natural error). Resets all call counters.
void zin_fault_arm(const char *function, unsigned long first, unsigned long count,
                   int error_number);

// Stops failing calls; counters keep counting.
void zin_fault_disarm(void);

// Calls of `function` since the last arm or reset (0 for an unknown name).
unsigned long zin_fault_calls(const char *function);

// Zeroes every call counter and the sleep record.
void zin_fault_reset(void);

// Number of sleep() calls recorded since the last reset; their seconds, in
// order, are copied into out[0..max-1].
unsigned zin_fault_sleeps(unsigned *out, unsigned max);

#ifdef __cplusplus
}
#endif
