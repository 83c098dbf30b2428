// SPDX-License-Identifier: Apache-2.0
// The names of the exception codes a Windows program ends with when an
// exception nobody handled stops it. Host-independent, so that every host's
// tests check the table.
#include "driver/exit_status.h"

namespace {

struct ExceptionName {
    std::uint32_t code;
    const char *name;
};

// The NTSTATUS error range: severity bits 11, customer bit clear, as the
// system's own exception codes have it.
constexpr std::uint32_t first_exception_code = 0xC0000000;
constexpr std::uint32_t last_exception_code = 0xCFFFFFFF;

// The codes by their Windows names (winnt.h, ntstatus.h); the words are ours.
constexpr ExceptionName exception_names[] = {
    {.code = 0xC0000005, .name = "access violation"},         // STATUS_ACCESS_VIOLATION
    {.code = 0xC0000006, .name = "in-page error"},            // STATUS_IN_PAGE_ERROR
    {.code = 0xC0000008, .name = "invalid handle"},           // STATUS_INVALID_HANDLE
    {.code = 0xC000001D, .name = "illegal instruction"},      // STATUS_ILLEGAL_INSTRUCTION
    {.code = 0xC0000025, .name = "noncontinuable exception"}, // ..._NONCONTINUABLE_EXCEPTION
    {.code = 0xC0000026, .name = "invalid disposition"},      // STATUS_INVALID_DISPOSITION
    {.code = 0xC000008C, .name = "array bounds exceeded"},    // ..._ARRAY_BOUNDS_EXCEEDED
    {.code = 0xC000008D,
     .name = "floating-point denormal operand"}, // STATUS_FLOAT_DENORMAL_OPERAND
    {.code = 0xC000008E, .name = "floating-point division by zero"},  // STATUS_FLOAT_DIVIDE_BY_ZERO
    {.code = 0xC000008F, .name = "floating-point inexact result"},    // STATUS_FLOAT_INEXACT_RESULT
    {.code = 0xC0000090, .name = "floating-point invalid operation"}, // ..._FLOAT_INVALID_OPERATION
    {.code = 0xC0000091, .name = "floating-point overflow"},          // STATUS_FLOAT_OVERFLOW
    {.code = 0xC0000092, .name = "floating-point stack check"},       // STATUS_FLOAT_STACK_CHECK
    {.code = 0xC0000093, .name = "floating-point underflow"},         // STATUS_FLOAT_UNDERFLOW
    {.code = 0xC0000094, .name = "integer division by zero"},  // STATUS_INTEGER_DIVIDE_BY_ZERO
    {.code = 0xC0000095, .name = "integer overflow"},          // STATUS_INTEGER_OVERFLOW
    {.code = 0xC0000096, .name = "privileged instruction"},    // STATUS_PRIVILEGED_INSTRUCTION
    {.code = 0xC00000FD, .name = "stack overflow"},            // STATUS_STACK_OVERFLOW
    {.code = 0xC0000135, .name = "DLL not found"},             // STATUS_DLL_NOT_FOUND
    {.code = 0xC0000139, .name = "entry point not found"},     // ..._ENTRYPOINT_NOT_FOUND
    {.code = 0xC000013A, .name = "interrupted by Ctrl+C"},     // STATUS_CONTROL_C_EXIT
    {.code = 0xC0000142, .name = "DLL initialization failed"}, // STATUS_DLL_INIT_FAILED
    {.code = 0xC0000374, .name = "heap corruption"},           // STATUS_HEAP_CORRUPTION
    {.code = 0xC0000409, .name = "fail-fast"},                 // STATUS_STACK_BUFFER_OVERRUN
};

} // namespace

const char *exception_name(std::uint32_t exit_code) {
    if (exit_code < first_exception_code || exit_code > last_exception_code) {
        return nullptr;
    }
    for (const ExceptionName &entry : exception_names) {
        if (entry.code == exit_code) {
            return entry.name;
        }
    }
    return "unknown exception";
}
