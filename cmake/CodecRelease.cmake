# The codec library as shipped, included at the end of codec/CMakeLists.txt: a version resource
# on both Windows builds, and the release build signed right after linking (when the build signs),
# so that every later copy of it, resource 1001 of the setup and the library the setup stages,
# carries the signature.
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/Release.cmake)
  fenn_version_resource(complib CompLib.DLL "톨바리네 2000 압축 라이브러리" VFT_DLL)
  fenn_version_resource(complib_debug CompLib.DLL "톨바리네 2000 압축 라이브러리 (디버그 빌드)"
                        VFT_DLL DEBUG)
  fenn_sign_after_build(complib)
endif()
