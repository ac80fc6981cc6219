# Hardening and reproducibility flags of every target (libraries, tests, demo).
#
#  -fstack-protector-strong   canaries in functions with arrays or address-taken locals
#  -D_FORTIFY_SOURCE=2        checked memcpy/sprintf/...; needs optimisation, and
#                             ASan checks the same calls better, so not with either
#  -ffile-prefix-map          no source or build folder in the objects (__FILE__,
#                             debug information): two checkouts build the same bytes
#  -z relro -z now            relocations resolved at load, then made read-only
#  -z noexecstack             never an executable stack
# The bridges also link with -z defs (cmake/Bridge.cmake).
add_compile_options(-fstack-protector-strong)
if(NOT ZT_SANITIZE)
  add_compile_options($<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE>
                      $<$<NOT:$<CONFIG:Debug>>:-D_FORTIFY_SOURCE=2>)
endif()
# The build folder may lie inside the source folder; the later option wins.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=ztbridge
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}=ztbridge-build)
add_link_options(LINKER:-z,relro LINKER:-z,now LINKER:-z,noexecstack)
