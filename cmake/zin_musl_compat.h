/* SPDX-License-Identifier: Apache-2.0 */
/* Included ahead of every source compiled for a musl program (ZinLink.cmake).
 *
 * The C++ standard library headers in use were configured for glibc, and its
 * configuration header bits/os_defines.h asks "#if __GLIBC_PREREQ(x, y)",
 * a macro only glibc's <features.h> defines, so the question is an error
 * elsewhere. musl is no glibc of any version: every such question is
 * answered no, as for any other C library. */
#ifndef ZIN_MUSL_COMPAT_H
#define ZIN_MUSL_COMPAT_H

#ifndef __GLIBC_PREREQ
#define __GLIBC_PREREQ(major, minor) 0
#endif

#endif
