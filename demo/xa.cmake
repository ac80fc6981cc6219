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
    COMMAND ${CMAKE_COMMAND} -E env ${ZT_STANDIN_ENV} ${ZT_XA_DEMO_JAVA}
    COMMAND ${CMAKE_COMMAND} -E env ${ZT_STANDIN_ENV} ${ZT_EMULATOR} $<TARGET_FILE:xa_native_demo> $<TARGET_FILE:xabridge>
    DEPENDS ztdemo xabridge xa_native_demo
    USES_TERMINAL)

add_test(NAME xa_demo_java COMMAND ${ZT_XA_DEMO_JAVA})
add_test(NAME xa_demo_java_checkjni COMMAND ${ZT_JAVA} -Xcheck:jni
         -Djava.library.path=$<TARGET_FILE_DIR:xabridge> -cp ${ZT_HOST_JAR}:${ZT_DEMO_JAR} XaDemo)
add_test(NAME xa_demo_native COMMAND xa_native_demo $<TARGET_FILE:xabridge>)

# One global transaction: a database row and a message (JtaDemo), run under
# -Xcheck:jni only: the emulated 32-bit JVM is too slow to run it twice.
if(ZT_HAVE_JTA_JARS)
  string(REPLACE ";" ":" _zt_jta_cp "${ZT_HOST_JAR};${ZT_DEMO_JAR};${ZT_JTA_JARS}")
  set(ZT_JTA_DEMO_JAVA ${ZT_JAVA} -Djava.library.path=$<TARGET_FILE_DIR:xabridge> -cp ${_zt_jta_cp} JtaDemo)
  add_custom_target(run-jta-demo COMMAND ${CMAKE_COMMAND} -E env ${ZT_STANDIN_ENV} ${ZT_JTA_DEMO_JAVA} DEPENDS ztdemo xabridge sessbridge USES_TERMINAL)
  add_test(NAME xa_demo_jta_checkjni COMMAND ${ZT_JAVA} -Xcheck:jni -Djava.library.path=$<TARGET_FILE_DIR:xabridge>
           -cp ${_zt_jta_cp} JtaDemo)
  set_tests_properties(xa_demo_jta_checkjni PROPERTIES FAIL_REGULAR_EXPRESSION "(^|\n)WARNING|unexpected")
  set_tests_properties(xa_demo_jta_checkjni PROPERTIES ENVIRONMENT "${ZT_STANDIN_ENV};${ZT_JAVA_TEST_ENV}")
endif()
set_tests_properties(xa_demo_java xa_demo_java_checkjni xa_demo_native PROPERTIES
    FAIL_REGULAR_EXPRESSION "(^|\n)WARNING|unexpected")

set_tests_properties(xa_demo_java xa_demo_java_checkjni PROPERTIES
    ENVIRONMENT "${ZT_STANDIN_ENV};${ZT_JAVA_TEST_ENV}")
# The native demo is not the java launcher: it needs the sanitizer options only.
set(_zt_native_env ${ZT_JAVA_TEST_ENV})
list(FILTER _zt_native_env EXCLUDE REGEX "^LD_PRELOAD=")
set_tests_properties(xa_demo_native PROPERTIES ENVIRONMENT "${ZT_STANDIN_ENV};${_zt_native_env}")
