#!/bin/sh
# Prepares this machine for the aarch64 preset: the base packages, the 64-bit
# Arm cross compilers and qemu-user (scripts/install-deps.sh cross), and
# qemu registered with the kernel's binfmt_misc, so that an emulated test can
# start the emulated wrappers, which start the emulated stand-in tool.
# Needs root (or sudo) when something is missing.
set -eu
cd "$(dirname "$0")/.."

scripts/install-deps.sh cross

binfmt=/proc/sys/fs/binfmt_misc
entry=$binfmt/qemu-aarch64
# The rule qemu-user-static ships for systemd-binfmt, which a container
# without systemd never applies. The static emulator, unlike the dynamic
# one, is not itself touched by an LD_PRELOAD meant for the emulated program.
rule=/usr/lib/binfmt.d/qemu-aarch64.conf
# Its flags, but for O: with O the kernel hands qemu the program on the
# lowest free descriptor, so a program started with standard input closed
# would find it open. P keeps argv[0], which the wrappers relocate by; F
# opens the emulator once, so that it works in other mount namespaces too.
flags=PF

if [ -e "$entry" ] && grep -qx enabled "$entry" && grep -qx "flags: $flags" "$entry"; then
    exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if [ ! -e "$binfmt/register" ]; then
    $sudo mount -t binfmt_misc binfmt_misc "$binfmt" || {
        echo "install-cross-deps.sh: cannot mount binfmt_misc on $binfmt;" \
             "tests that start the built programs cannot run emulated" >&2
        exit 1
    }
fi
[ -r "$rule" ] || { echo "install-cross-deps.sh: $rule is missing" >&2; exit 1; }
# Any earlier registration (other flags, disabled) makes way for this one.
[ -e "$entry" ] && echo -1 | $sudo tee "$entry" >/dev/null
# One line, ":name:type:offset:magic:mask:interpreter:flags".
grep '^:qemu-aarch64:' "$rule" | sed "s/:[A-Z]*\$/:$flags/" | $sudo tee "$binfmt/register" >/dev/null
if ! grep -qx enabled "$entry" || ! grep -qx "flags: $flags" "$entry"; then
    echo "install-cross-deps.sh: qemu-aarch64 is not registered as wanted in $binfmt" >&2
    exit 1
fi
echo "Registered qemu-aarch64 with binfmt_misc (flags $flags)"
