# The drive search on FakePlatform against a bare walk of the same tree (native only).
if(NOT WIN32)
  if(NOT TARGET fenn_fake_platform)
    add_subdirectory(${PROJECT_SOURCE_DIR}/tests/fake ${CMAKE_BINARY_DIR}/tests/fake)
  endif()
  add_executable(drive_search_fake ${CMAKE_CURRENT_LIST_DIR}/drive_search_fake.cpp)
  target_link_libraries(drive_search_fake PRIVATE fenn_fake_platform fenn_logic)
endif()
