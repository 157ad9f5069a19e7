# Codec benchmark (native only): the library's compress and decompress against plain zlib, file to
# file, with the peak memory of each case. Run: build/native/bench/codec_bench (see BENCHMARKS.md).
if(NOT WIN32)
  add_executable(codec_bench ${CMAKE_CURRENT_LIST_DIR}/codec_bench.cpp)
  target_link_libraries(codec_bench PRIVATE complib_core fenn_zlib)
endif()
