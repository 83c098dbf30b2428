/* SPDX-License-Identifier: Apache-2.0 */
/* A bitcode object with a function, initialised data, a weak function and a
 * reference to a function of the other object. */
int counter = 40;
int scale(int value);

/* Weak, so that a program may bring its own. */
__attribute__((weak)) int offset(void) {
    return 2;
}

/* scale(value) + counter + offset(). */
int add(int value) {
    return scale(value) + counter + offset();
}
