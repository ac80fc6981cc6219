# Where the Java runtime of the target lives, and how to run the target's programs.
#
# JNI headers come from the build machine's JDK; they are the same for both
# widths. The runtime (libjvm for the embedded-JVM tests, the java launcher for
# the demo) must match the target's width.
find_package(Java 17 REQUIRED COMPONENTS Development)
include(UseJava)
# The headers of the JDK whose javac builds the host classes.
if(NOT DEFINED ENV{JAVA_HOME})
  get_filename_component(_zt_javac "${Java_JAVAC_EXECUTABLE}" REALPATH)
  get_filename_component(_zt_jdk "${_zt_javac}" DIRECTORY)
  get_filename_component(_zt_jdk "${_zt_jdk}" DIRECTORY)
  set(ENV{JAVA_HOME} "${_zt_jdk}")
endif()
# Nothing links the JDK's libraries (the tests load the target's libjvm by
# path), so a cross build finds them, like the headers, on the build machine.
set(_zt_mode ${CMAKE_FIND_ROOT_PATH_MODE_LIBRARY})
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
find_package(JNI REQUIRED)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ${_zt_mode})

# A cross target's toolchain file presets the runtime of its root.
if(ZT_M32)
  set(_zt_default_java_home /usr/lib/jvm/java-17-openjdk-i386)
else()
  set(_zt_default_java_home /usr/lib/jvm/java-17-openjdk-amd64)
endif()
set(ZT_RUNTIME_JAVA_HOME ${_zt_default_java_home} CACHE PATH "Java runtime of the target width")
set(ZT_LIBJVM ${ZT_RUNTIME_JAVA_HOME}/lib/server/libjvm.so CACHE FILEPATH "libjvm of the target width")
if(NOT EXISTS ${ZT_LIBJVM})
  message(FATAL_ERROR "No libjvm at ${ZT_LIBJVM}: install the Java runtime of the target width (scripts/setup)")
endif()

# The runtime's feature release (17, 25 ...), from its release file.
file(STRINGS ${ZT_RUNTIME_JAVA_HOME}/release _zt_release REGEX "^JAVA_VERSION=")
if(NOT _zt_release MATCHES "^JAVA_VERSION=\"([0-9]+)")
  message(FATAL_ERROR "No JAVA_VERSION in ${ZT_RUNTIME_JAVA_HOME}/release")
endif()
set(ZT_RUNTIME_JAVA_FEATURE ${CMAKE_MATCH_1} CACHE INTERNAL "Feature release of the Java runtime")

# A cross target's toolchain file names its emulator (cmake/Cross.cmake). A
# 32-bit program may not run natively on every 64-bit kernel (some sandboxes
# lack the 32-bit syscall layer); then it runs under qemu's user-mode emulator.
set(ZT_EMULATOR "")
if(CMAKE_CROSSCOMPILING_EMULATOR)
  set(ZT_EMULATOR ${CMAKE_CROSSCOMPILING_EMULATOR})
elseif(ZT_M32)
  set(_probe_src ${CMAKE_BINARY_DIR}/zt_probe32.c)
  file(WRITE ${_probe_src} "int main(void){return 0;}\n")
  try_run(_zt_run_rc _zt_compile_ok ${CMAKE_BINARY_DIR}/zt_probe32 ${_probe_src}
          COMPILE_DEFINITIONS -m32 LINK_OPTIONS -m32)
  if(NOT _zt_compile_ok)
    message(FATAL_ERROR "Cannot build 32-bit programs: install g++-multilib (scripts/setup)")
  endif()
  if(NOT "${_zt_run_rc}" STREQUAL "0")
    find_program(ZT_QEMU_I386 qemu-i386 REQUIRED)
    set(ZT_EMULATOR ${ZT_QEMU_I386})
    set(CMAKE_CROSSCOMPILING_EMULATOR ${ZT_QEMU_I386})
    message(STATUS "32-bit programs run under ${ZT_QEMU_I386}")
  endif()
endif()

# The java launcher of the target width, with the emulator in front when
# needed. Under qemu-user the JVM runs interpreted: its JIT patches compiled
# code across threads, which is not reliable under emulation.
# Native access is granted: JDK 24 and later warn when the unnamed module
# calls System.loadLibrary without it (JDK 17 knows the option too).
set(ZT_JAVA ${ZT_EMULATOR} ${ZT_RUNTIME_JAVA_HOME}/bin/java --enable-native-access=ALL-UNNAMED)
if(ZT_EMULATOR)
  list(APPEND ZT_JAVA -Xint)
endif()

# Environment of a test that starts the java launcher. In a sanitizer build the
# launcher must have the sanitizer runtime preloaded to load the instrumented
# libraries, and the JVM handles SIGSEGV itself, so ASan must leave it alone.
# The C++ runtime is preloaded after it: ASan finds the real __cxa_throw when
# it starts, and the launcher (a C program) has not loaded libstdc++ by then,
# so the bridges' first thrown exception would abort the JVM.
set(ZT_JAVA_TEST_ENV "")
if(ZT_SANITIZE)
  set(_zt_width_flag "")
  if(ZT_M32)
    set(_zt_width_flag -m32)
  endif()
  set(_zt_preload "")
  foreach(_zt_lib libasan.so libstdc++.so.6)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${_zt_width_flag} -print-file-name=${_zt_lib}
                    OUTPUT_VARIABLE _zt_path OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT IS_ABSOLUTE "${_zt_path}" OR NOT EXISTS "${_zt_path}")
      message(FATAL_ERROR "The compiler does not know where ${_zt_lib} is (${_zt_path})")
    endif()
    list(APPEND _zt_preload ${_zt_path})
  endforeach()
  string(REPLACE ";" ":" _zt_preload "${_zt_preload}")
  set(ZT_JAVA_TEST_ENV
      "LD_PRELOAD=${_zt_preload}"
      "ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0:detect_stack_use_after_return=0:abort_on_error=1"
      "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
endif()
