# SPDX-License-Identifier: Apache-2.0
# cmake -DNM=<nm> -DPROGRAM=<program> -P ZinMuslAllocatorCheck.cmake
#
# Run after each link of a program linked with musl and the region
# (zin_musl_region_program in ZinLink.cmake). A call to a member of the
# allocation family that driver/region_malloc.cc does not serve, from the
# program or from the C library, links musl's own allocator in beside the
# region without a word, and its brk heap with it (docs/performance.md): the
# build fails instead, and the program is removed so that the next build links
# and checks it again.

# Names only musl's allocators define: each allocator of musl 1.2 (mallocng,
# the old malloc, the simple one) defines __libc_malloc_impl, mallocng keeps
# its state in __malloc_context, and the simple brk allocator is
# __simple_malloc.
set(musl_allocator_symbols __libc_malloc_impl __malloc_context __simple_malloc)

# Removes the program and stops the build with the reason, given in pieces.
function(fail)
    string(CONCAT reason ${ARGN})
    file(REMOVE "${PROGRAM}")
    message(FATAL_ERROR "${PROGRAM}: ${reason}")
endfunction()

execute_process(COMMAND "${NM}" --defined-only "${PROGRAM}"
                OUTPUT_VARIABLE symbols ERROR_VARIABLE error RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    fail("cannot read the symbol table with ${NM}: ${error}")
endif()
# The region's malloc shows that there was a symbol table to read: a stripped
# program would pass every check below unseen.
if(NOT symbols MATCHES " malloc\n")
    fail("no malloc in the symbol table (stripped?): cannot check the allocator")
endif()
foreach(symbol IN LISTS musl_allocator_symbols)
    if(symbols MATCHES " ${symbol}\n")
        fail("musl's own allocator is linked in (it defines ${symbol}), so something calls "
             "a member of the allocation family that the region does not serve: serve it "
             "in driver/region_malloc.cc")
    endif()
endforeach()
