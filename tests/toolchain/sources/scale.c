/* SPDX-License-Identifier: Apache-2.0 */
/* The second bitcode object of the archive. */

/* Three times the value. */
int scale(int value) {
    return value * 3;
}
