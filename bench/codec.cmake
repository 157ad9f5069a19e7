# Codec benchmark (native only): the library's compress and decompress, and vxtool's pack and
# unpack, against plain zlib, file to file, with the peak memory of each case. Run:
# build/native/bench/codec_bench (see BENCHMARKS.md).
if(NOT WIN32)
  add_executable(codec_bench ${CMAKE_CURRENT_LIST_DIR}/codec_bench.cpp)
  target_link_libraries(codec_bench PRIVATE complib_core fenn_zlib)
  target_compile_definitions(codec_bench PRIVATE VXTOOL_PATH="$<TARGET_FILE:vxtool>")
  add_dependencies(codec_bench vxtool)
endif()
