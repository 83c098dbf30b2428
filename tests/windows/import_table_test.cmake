# SPDX-License-Identifier: Apache-2.0
# The Windows programs import system DLLs alone, so that they run from
# wherever the ZIP is unpacked: no C++ runtime, libgcc or winpthreads DLL.
#   cmake -DOBJDUMP=<x86_64-w64-mingw32-objdump> "-DPROGRAMS=<a.exe;b.exe>" -P import_table_test.cmake

cmake_minimum_required(VERSION 3.25)

# What every Windows installation has in its system directory; compared
# without regard to case, as Windows finds DLLs.
set(system_dlls kernel32.dll ntdll.dll msvcrt.dll advapi32.dll shell32.dll user32.dll
                bcrypt.dll)

set(failures "")
foreach(program IN LISTS PROGRAMS)
    execute_process(COMMAND "${OBJDUMP}" -p "${program}"
                    OUTPUT_VARIABLE dump RESULT_VARIABLE status ERROR_VARIABLE error)
    if(NOT status EQUAL 0)
        string(APPEND failures "${program}: objdump failed: ${error}\n")
        continue()
    endif()
    string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
    set(imported "")
    foreach(line IN LISTS lines)
        string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
        string(STRIP "${dll}" dll)
        list(APPEND imported "${dll}")
        string(TOLOWER "${dll}" lower)
        if(NOT lower IN_LIST system_dlls)
            string(APPEND failures "${program} imports ${dll}, which is not a system DLL\n")
        endif()
    endforeach()
    # A table read as empty would pass everything.
    string(TOLOWER "${imported}" lower_imported)
    if(NOT "kernel32.dll" IN_LIST lower_imported)
        string(APPEND failures "${program}: no import of KERNEL32.dll found in objdump's output\n")
    endif()
    message("${program}: ${imported}")
endforeach()
if(failures)
    message(FATAL_ERROR "${failures}")
endif()
