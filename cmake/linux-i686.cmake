# 32-bit Linux build on the x86_64 host: gcc -m32 against Debian's multilib runtime and the i386
# zlib (lib32z1-dev). The host kernel cannot start 32-bit programs here, so CTest runs every test
# program through qemu's user-mode emulator (no binfmt registration needed).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)
# The 32-bit libraries live in /usr/lib32; never take a 64-bit one from the host's folders.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(ZLIB_LIBRARY /usr/lib32/libz.so CACHE FILEPATH "The i386 zlib (lib32z1-dev)")
find_program(FENN_QEMU_I386 qemu-i386-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${FENN_QEMU_I386})
