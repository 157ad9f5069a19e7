# The drive search on FakePlatform against a bare walk of the same tree (native only).
if(NOT WIN32)
  add_executable(drive_search_fake ${CMAKE_CURRENT_LIST_DIR}/drive_search_fake.cpp)
  target_link_libraries(drive_search_fake PRIVATE fenn_fake_platform fenn_logic)
endif()
