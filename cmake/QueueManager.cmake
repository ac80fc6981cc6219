# The queue manager the bridges are built against.
#
#  zt_qm_interface   its interface header, ztm.h, and nothing else: the
#                    bridges never see the stand-in's control headers
#  ZT_QM_LIBRARIES   libztm, libztmcs and libztmzse, linked by file so that
#                    nothing else of the stand-in's targets comes with them
#  ZT_QM_TARGETS     what has to be built first (the stand-in's libraries)
#
# With ZT_QMGR_DIR set, both come from that installation; otherwise from the
# stand-in (qmgr/), whose header is copied alone into the build folder.
add_library(zt_qm_interface INTERFACE)
if(ZT_QMGR_DIR)
  foreach(_f include/ztm.h lib/libztm.so lib/libztmcs.so lib/libztmzse.so)
    if(NOT EXISTS ${ZT_QMGR_DIR}/${_f})
      message(FATAL_ERROR "ZT_QMGR_DIR=${ZT_QMGR_DIR} has no ${_f}")
    endif()
  endforeach()
  target_include_directories(zt_qm_interface INTERFACE ${ZT_QMGR_DIR}/include)
  set(ZT_QM_LIBRARIES ${ZT_QMGR_DIR}/lib/libztm.so ${ZT_QMGR_DIR}/lib/libztmcs.so
      ${ZT_QMGR_DIR}/lib/libztmzse.so)
  set(ZT_QM_TARGETS "")
  message(STATUS "Bridges built against the queue manager in ${ZT_QMGR_DIR}")
else()
  set(_zt_iface ${CMAKE_BINARY_DIR}/qm-interface/include)
  configure_file(${CMAKE_SOURCE_DIR}/qmgr/include/ztm.h ${_zt_iface}/ztm.h COPYONLY)
  target_include_directories(zt_qm_interface INTERFACE ${_zt_iface})
  set(ZT_QM_LIBRARIES $<TARGET_LINKER_FILE:ztm> $<TARGET_LINKER_FILE:ztmcs>
      $<TARGET_LINKER_FILE:ztmzse>)
  set(ZT_QM_TARGETS ztm ztmcs ztmzse)
  # Where the stand-in's libraries are built: never beside the bridges.
  set(ZT_STANDIN_DIR ${CMAKE_BINARY_DIR}/standin)
  # The environment that lets a bridge loaded by a test, the demo or a
  # benchmark find the stand-in (the bridges carry no search path).
  set(ZT_STANDIN_ENV "LD_LIBRARY_PATH=${ZT_STANDIN_DIR}")
endif()
