#!/bin/sh
# Runs a 32-bit ARM program of the cross build under qemu-user: the ctest
# emulator, the tests that start the game as a process, and the benchmark
# scripts' counts all start it here. The sysroot's loader with the sysroot's
# own C library: where Debian's armhf libc is installed too (zlib pulls it in),
# the loader would meet that newer libc.so.6 and every new thread would crash.
# Emulator options (such as -plugin) may come before the program.
#   cmake/qemu-arm.sh [qemu options...] PROGRAM [ARGS...]
sysroot=/usr/arm-linux-gnueabihf
exec qemu-arm -L "$sysroot" -E LD_LIBRARY_PATH="$sysroot/lib" "$@"
