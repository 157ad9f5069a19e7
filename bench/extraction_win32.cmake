# The setup's payload extraction on Win32Platform under Wine against a plain in-process unpack of
# the same four containers (win64 only). The executable carries the setup's own resources, so the
# payloads it extracts are the containers FennSetup.exe carries.
if(WIN32 AND TARGET fenn_win32_platform AND TARGET FennSetup)
  set(setup_dir ${PROJECT_SOURCE_DIR}/Updater/FennSetup)
  get_directory_property(resource_script DIRECTORY ${setup_dir} DEFINITION FENN_RESOURCE_SCRIPT)
  get_directory_property(resource_stage DIRECTORY ${setup_dir} DEFINITION FENN_RESOURCE_STAGE)
  get_directory_property(resource_files DIRECTORY ${setup_dir} DEFINITION FENN_RESOURCE_FILES)

  add_executable(extraction_win32 ${CMAKE_CURRENT_LIST_DIR}/extraction_win32.cpp
                                  ${resource_script})
  target_link_libraries(extraction_win32 PRIVATE fenn_logic fenn_win32_platform complib_core)
  target_link_options(extraction_win32 PRIVATE -municode)
  # The resource compiler reads the staged containers the setup's build packed.
  target_include_directories(extraction_win32 PRIVATE ${resource_stage} ${setup_dir}/resources)
  set_source_files_properties(${resource_script} DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
      PROPERTIES OBJECT_DEPENDS "${resource_files}")
  # The staging rules belong to the setup's folder; building the setup first runs them.
  add_dependencies(extraction_win32 FennSetup)
  # Timed as well, one process per container, when it stands in the same build.
  add_dependencies(extraction_win32 vxtool)
endif()
