# Flags that make a build give the same bytes wherever and whenever it runs: no build-machine
# paths in the objects (assertion texts, debug information, __FILE__) and, for Windows targets,
# no link time stamp in the PE headers. Read by the toolchain files and by the host tool build.
include_guard(GLOBAL)

# Compiler flags that write SOURCE as "." and BINARY as "build" into every object. The binary
# folder's mapping comes last so that it wins when the build folder lies inside the source tree.
# A compiler cache with a base folder (ccache's CCACHE_BASEDIR) hands the compiler the source
# paths relative to the build folder ("../../codec/src/..."): that form is mapped to "." as well,
# so a build through the cache gives the same bytes as one without.
function(fenn_prefix_map_flags out source binary)
  file(RELATIVE_PATH relative "${binary}" "${source}")
  string(REGEX REPLACE "/$" "" relative "${relative}")
  set(flags "-ffile-prefix-map=${source}=. -ffile-prefix-map=${binary}=build")
  if(relative MATCHES "^\\.\\.")
    set(flags "-ffile-prefix-map=${relative}=. ${flags}")
  endif()
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

# For a MinGW toolchain: applied to every target of the build, and to CMake's own test builds.
macro(fenn_reproducible_windows_toolchain)
  fenn_prefix_map_flags(_fenn_map "${CMAKE_SOURCE_DIR}" "${CMAKE_BINARY_DIR}")
  set(CMAKE_C_FLAGS_INIT "${_fenn_map}")
  set(CMAKE_CXX_FLAGS_INIT "${_fenn_map}")
  foreach(_fenn_kind EXE SHARED MODULE)
    set(CMAKE_${_fenn_kind}_LINKER_FLAGS_INIT "-Wl,--no-insert-timestamp")
  endforeach()
endmacro()
