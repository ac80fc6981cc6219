# zt_bridge(<target> EXPORTS <version script> [SYMBOLIC]): what makes a shared
# library a shippable bridge.
#  - hidden by default; the version script lists what is exported (the JNI
#    natives and the plain-named helpers), and tests/release pins the list;
#  - SYMBOLIC (-Bsymbolic): its own helpers, never another loaded library's
#    copy of the same names (libsessbridge and libdeferbridge export the same
#    ones). Not for libxabridge, which exports data (the switch) that a
#    program may copy;
#  - -z defs: no undefined symbol except those of the queue manager's
#    libraries, which it links by name;
#  - no search path at all: the queue manager's libraries come from the
#    system's (ld.so.conf.d) or LD_LIBRARY_PATH, never from the build tree;
#  - installed into lib/ (component "bridges"), debug information split off
#    (zt_install_stripped, which the stand-in's libraries use too).
function(zt_bridge name)
  cmake_parse_arguments(B "SYMBOLIC" "EXPORTS" "" ${ARGN})
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    C_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON
    SKIP_BUILD_RPATH ON
    LINK_DEPENDS ${B_EXPORTS})
  # Needed at load time, all three, even where a toolchain links --as-needed.
  target_link_libraries(${name} PRIVATE zt_qm_interface zthost_jni
                        -Wl,--push-state,--no-as-needed ${ZT_QM_LIBRARIES} -Wl,--pop-state)
  if(ZT_QM_TARGETS)
    add_dependencies(${name} ${ZT_QM_TARGETS})
  endif()
  target_link_options(${name} PRIVATE LINKER:-z,defs LINKER:--version-script=${B_EXPORTS})
  if(B_SYMBOLIC)
    target_link_options(${name} PRIVATE LINKER:-Bsymbolic)
  endif()
  zt_install_stripped(${name} ${CMAKE_INSTALL_LIBDIR} bridges)
endfunction()

# zt_install_stripped(<target> <destination> <component> [EXCLUDE_FROM_ALL]):
# installs a shared library stripped, its debug information split off into
# <destination>/.debug/ (cmake/SplitDebug.cmake).
function(zt_install_stripped name destination component)
  install(TARGETS ${name} LIBRARY DESTINATION ${destination} COMPONENT ${component} ${ARGN})
  install(CODE "set(ZT_LIB \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}/$<TARGET_FILE_NAME:${name}>\")
                set(ZT_OBJCOPY \"${CMAKE_OBJCOPY}\")
                include(\"${CMAKE_SOURCE_DIR}/cmake/SplitDebug.cmake\")"
          COMPONENT ${component} ${ARGN})
endfunction()

# Object libraries compiled for the bridges: hidden by default, as the bridges.
function(zt_bridge_objects name)
  add_library(${name} OBJECT ${ARGN})
  set_target_properties(${name} PROPERTIES
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PUBLIC zt_qm_interface zthost_jni)
  target_include_directories(${name} PUBLIC ${ZT_NATIVE_DIR} ${ZT_JNI_DIR} ${JNI_INCLUDE_DIRS})
endfunction()
