# The drive search on Win32Platform under Wine against a bare walk of the same tree (win64 only).
if(WIN32 AND TARGET fenn_win32_platform)
  add_executable(drive_search_win32 ${CMAKE_CURRENT_LIST_DIR}/drive_search_win32.cpp)
  target_link_libraries(drive_search_win32 PRIVATE fenn_win32_platform fenn_logic)
  target_link_options(drive_search_win32 PRIVATE -municode)
endif()
