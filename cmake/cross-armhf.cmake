# armhf: little-endian, ILP32 (32-bit int, long and pointer), unsigned char.
# Toolchain file of build/armhf (scripts/run-tests armhf); the root comes from
# scripts/setup armhf.
set(ZT_CROSS_ARCH armhf)
set(ZT_CROSS_PROCESSOR arm)
set(ZT_CROSS_TRIPLE arm-linux-gnueabihf)
set(ZT_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/Cross.cmake)
