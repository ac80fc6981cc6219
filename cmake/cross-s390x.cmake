# s390x: big-endian, LP64, unsigned char. Toolchain file of build/s390x
# (scripts/run-tests s390x); the root comes from scripts/setup s390x.
set(ZT_CROSS_ARCH s390x)
set(ZT_CROSS_PROCESSOR s390x)
set(ZT_CROSS_TRIPLE s390x-linux-gnu)
set(ZT_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/Cross.cmake)
