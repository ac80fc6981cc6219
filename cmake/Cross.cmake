# What the cross targets' toolchain files share (cross-s390x.cmake,
# cross-armhf.cmake): Debian's cross compiler, the target's root built by
# scripts/setup (build/sysroot-<arch>: its runtime libraries, SQLite, Berkeley
# DB and Java runtime), and qemu's user-mode emulator to run what is built.
# The caller sets ZT_CROSS_ARCH (Debian's name), ZT_CROSS_PROCESSOR,
# ZT_CROSS_TRIPLE and ZT_CROSS_QEMU.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR ${ZT_CROSS_PROCESSOR})
set(CMAKE_C_COMPILER ${ZT_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ZT_CROSS_TRIPLE}-g++)

get_filename_component(_zt_default_sysroot ${CMAKE_CURRENT_LIST_DIR}/../build/sysroot-${ZT_CROSS_ARCH} ABSOLUTE)
set(ZT_SYSROOT ${_zt_default_sysroot} CACHE PATH "Root of the ${ZT_CROSS_ARCH} target (scripts/setup ${ZT_CROSS_ARCH})")
if(NOT EXISTS ${ZT_SYSROOT}/.packages)
  message(FATAL_ERROR "No ${ZT_CROSS_ARCH} root at ${ZT_SYSROOT}: run scripts/setup ${ZT_CROSS_ARCH}")
endif()

# The compiler keeps its own C and C++ headers and libraries; the libraries of
# the root are found there, and programs (javac, the emulator) on the host.
set(CMAKE_FIND_ROOT_PATH ${ZT_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# The libraries' own dependencies (libsqlite3's, libdb's) resolve in the root.
set(_zt_libdir ${ZT_SYSROOT}/usr/lib/${ZT_CROSS_TRIPLE})
set(CMAKE_EXE_LINKER_FLAGS_INIT "-Wl,-rpath-link,${_zt_libdir}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-Wl,-rpath-link,${_zt_libdir}")

find_program(ZT_QEMU ${ZT_CROSS_QEMU} REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ZT_QEMU} -L ${ZT_SYSROOT})

# The target's Java runtime and Berkeley DB (cmake/Runtime.cmake, tests/xa_tm).
file(GLOB _zt_jre ${ZT_SYSROOT}/usr/lib/jvm/java-17-openjdk-${ZT_CROSS_ARCH})
set(ZT_RUNTIME_JAVA_HOME ${_zt_jre} CACHE PATH "Java runtime of the target")
set(ZT_LIBDB ${_zt_libdir}/libdb-5.3.so CACHE FILEPATH "Berkeley DB of the target")
