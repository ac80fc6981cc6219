# Install step of a bridge (cmake/Bridge.cmake): moves the debug information of
# the installed library ZT_LIB into .debug/<name>.debug beside it, where gdb
# finds it through the library's debug link.
get_filename_component(_dir "${ZT_LIB}" DIRECTORY)
get_filename_component(_name "${ZT_LIB}" NAME)
set(_debug "${_dir}/.debug/${_name}.debug")
file(MAKE_DIRECTORY "${_dir}/.debug")
foreach(_args
    "--only-keep-debug;${ZT_LIB};${_debug}"
    "--strip-debug;--strip-unneeded;${ZT_LIB}"
    "--add-gnu-debuglink=${_debug};${ZT_LIB}")
  execute_process(COMMAND "${ZT_OBJCOPY}" ${_args} RESULT_VARIABLE _rc)
  if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "objcopy ${_args}: failed (${_rc})")
  endif()
endforeach()
file(CHMOD "${_debug}" PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
message(STATUS "Debug information: ${_debug}")
