# The Windows side of FennSetup: the real platform (Win32Platform), the entry point and the
# resources that carry the payloads. Included by this folder's CMakeLists.txt for Windows builds.
set(FENN_WIN32_DIR ${CMAKE_CURRENT_SOURCE_DIR}/platform/win32)

add_library(fenn_win32_platform STATIC
    ${FENN_WIN32_DIR}/PanelFont.cpp
    ${FENN_WIN32_DIR}/PanelKeyboard.cpp
    ${FENN_WIN32_DIR}/Win32DesktopUser.cpp
    ${FENN_WIN32_DIR}/Win32Files.cpp
    ${FENN_WIN32_DIR}/Win32HeldFolder.cpp
    ${FENN_WIN32_DIR}/Win32KnownFolders.cpp
    ${FENN_WIN32_DIR}/Win32Messages.cpp
    ${FENN_WIN32_DIR}/Win32Panel.cpp
    ${FENN_WIN32_DIR}/Win32Registry.cpp
    ${FENN_WIN32_DIR}/Win32Resources.cpp
    ${FENN_WIN32_DIR}/Win32SetupRun.cpp
    ${FENN_WIN32_DIR}/Win32System.cpp
    ${FENN_WIN32_DIR}/Win32Text.cpp)
fenn_room_headers(fenn_win32_platform PUBLIC platform/win32)
target_include_directories(fenn_win32_platform PRIVATE ${PROJECT_SOURCE_DIR}/codec/include)
target_link_libraries(fenn_win32_platform PUBLIC fenn_platform user32 gdi32 advapi32 comctl32
                      PRIVATE fenn_resource_ids)

include(${CMAKE_CURRENT_SOURCE_DIR}/standins/Standins.cmake)
include(${CMAKE_CURRENT_SOURCE_DIR}/resources/Payloads.cmake)

set(FENN_RESOURCE_SCRIPT ${CMAKE_CURRENT_SOURCE_DIR}/resources/FennSetup.rc)
add_executable(FennSetup WIN32 ${FENN_WIN32_DIR}/WinMain.cpp ${FENN_RESOURCE_SCRIPT})
target_link_libraries(FennSetup PRIVATE fenn_logic fenn_win32_platform)
target_link_options(FennSetup PRIVATE -municode -s)
fenn_minimum_windows(FennSetup)
# The resource compiler finds the staged files through its include path.
target_include_directories(FennSetup PRIVATE ${FENN_RESOURCE_STAGE}
                                               ${CMAKE_CURRENT_SOURCE_DIR}/resources)
set_source_files_properties(${FENN_RESOURCE_SCRIPT} PROPERTIES
    OBJECT_DEPENDS "${FENN_RESOURCE_FILES}")
# At the top of the build folder, away from the stand-ins and the codec library.
set_target_properties(FennSetup PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
include(${PROJECT_SOURCE_DIR}/cmake/Release.cmake)
fenn_version_resource(FennSetup FennSetup.exe "톨바리네 2000 업데이터 설치 프로그램" VFT_APP)
# Signed last, once the resources are in.
fenn_sign_after_build(FennSetup)
