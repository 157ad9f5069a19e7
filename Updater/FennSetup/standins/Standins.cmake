# Stand-in payloads for setups built without a folder of real payload files: an updater that
# shows it is a stand-in and two placeholder libraries with the names of the system libraries.
# They live in their own folders of the build, away from every other program: a library named
# like a system one must never sit beside a program that could load it by mistake.
set(FENN_STANDIN_DIR ${CMAKE_BINARY_DIR}/standins)

add_executable(fenn_standin_k3fenn WIN32 ${CMAKE_CURRENT_LIST_DIR}/K3FennStandin.cpp)
target_link_options(fenn_standin_k3fenn PRIVATE -municode)
target_link_libraries(fenn_standin_k3fenn PRIVATE user32 gdi32)
target_link_options(fenn_standin_k3fenn PRIVATE -s)
fenn_minimum_windows(fenn_standin_k3fenn)
set_target_properties(fenn_standin_k3fenn PROPERTIES
    OUTPUT_NAME K3Fenn
    RUNTIME_OUTPUT_DIRECTORY ${FENN_STANDIN_DIR}/updater)

foreach(library cfgmgr32 setupapi)
  set(target fenn_standin_${library})
  add_library(${target} SHARED ${CMAKE_CURRENT_LIST_DIR}/PlaceholderLibrary.cpp
              ${CMAKE_CURRENT_LIST_DIR}/PlaceholderLibrary.rc)
  string(TOUPPER ${library} upper)
  target_compile_definitions(${target} PRIVATE PLACEHOLDER_${upper})
  target_link_options(${target} PRIVATE -s)
  set_target_properties(${target} PROPERTIES
      PREFIX ""
      OUTPUT_NAME ${library}
      RUNTIME_OUTPUT_DIRECTORY ${FENN_STANDIN_DIR}/libraries
      ARCHIVE_OUTPUT_DIRECTORY ${FENN_STANDIN_DIR}/libraries/import)
endforeach()

# The stand-in of each payload name, for setups built without FENN_PAYLOAD_DIR: the debug build of
# the codec library stands in for the release one the product ships.
set(FENN_STANDIN_FOR_CompLib.dll complib_debug)
set(FENN_STANDIN_FOR_K3Fenn.exe fenn_standin_k3fenn)
set(FENN_STANDIN_FOR_cfgmgr32.dll fenn_standin_cfgmgr32)
set(FENN_STANDIN_FOR_setupapi.dll fenn_standin_setupapi)
