/* SPDX-License-Identifier: Apache-2.0 */
/* A program that can only link when the archive carries a symbol index. */
#include <stdio.h>

int add(int value);

int main(void) {
    printf("add(4) = %d\n", add(4));
    return 0;
}
