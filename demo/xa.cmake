# The XA demo: a Java two-phase commit, a rolled-back branch and a recovered
# in-doubt branch through com.zel.zt.server.ZTXAi (XaDemo, in the demo jar),
# then the same through the XA switch from a C transaction manager
# (xa_native_demo). Included from demo/CMakeLists.txt after the ztdemo jar.
#
#   cmake --build <dir> --target run-xa-demo
set(ZT_XA_DEMO_JAVA ${ZT_JAVA} -Djava.library.path=$<TARGET_FILE_DIR:xabridge>
    -cp ${ZT_HOST_JAR}:${ZT_DEMO_JAR} XaDemo)

add_executable(xa_native_demo ${CMAKE_CURRENT_LIST_DIR}/xa_native_demo.c)
target_include_directories(xa_native_demo PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../lib/xa)
target_link_libraries(xa_native_demo PRIVATE ztm_headers ${CMAKE_DL_LIBS})
add_dependencies(xa_native_demo xabridge)

add_custom_target(run-xa-demo
    COMMAND ${ZT_XA_DEMO_JAVA}
    COMMAND ${ZT_EMULATOR} $<TARGET_FILE:xa_native_demo> $<TARGET_FILE:xabridge>
    DEPENDS ztdemo xabridge xa_native_demo
    USES_TERMINAL)

add_test(NAME xa_demo_java COMMAND ${ZT_XA_DEMO_JAVA})
add_test(NAME xa_demo_java_checkjni COMMAND ${ZT_JAVA} -Xcheck:jni
         -Djava.library.path=$<TARGET_FILE_DIR:xabridge> -cp ${ZT_HOST_JAR}:${ZT_DEMO_JAR} XaDemo)
add_test(NAME xa_demo_native COMMAND xa_native_demo $<TARGET_FILE:xabridge>)
set_tests_properties(xa_demo_java xa_demo_java_checkjni xa_demo_native PROPERTIES
    FAIL_REGULAR_EXPRESSION "(^|\n)WARNING|unexpected")

# In a sanitizer build the java launcher needs the ASan runtime preloaded to
# load the instrumented libraries.
if(ZT_SANITIZE)
  set(_zt_m32_flag "")
  if(ZT_M32)
    set(_zt_m32_flag -m32)
  endif()
  # The harness's settings (defined later on a first configure).
  set(_zt_xa_sanitizer_env ${ZT_SANITIZER_ENV})
  if(NOT _zt_xa_sanitizer_env)
    set(_zt_xa_sanitizer_env
        "ASAN_OPTIONS=handle_segv=0:allow_user_segv_handler=1:detect_leaks=0:detect_stack_use_after_return=0:abort_on_error=1"
        "UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1")
  endif()
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} ${_zt_m32_flag} -print-file-name=libasan.so
                  OUTPUT_VARIABLE _zt_libasan OUTPUT_STRIP_TRAILING_WHITESPACE)
  set_tests_properties(xa_demo_java xa_demo_java_checkjni PROPERTIES
      ENVIRONMENT "LD_PRELOAD=${_zt_libasan};${_zt_xa_sanitizer_env}")
  set_tests_properties(xa_demo_native PROPERTIES ENVIRONMENT "${_zt_xa_sanitizer_env}")
endif()
