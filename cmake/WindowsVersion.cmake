# The oldest Windows a program runs on, written into its PE header as both its operating-system and
# its subsystem version, so that an older Windows refuses it with the system's own message rather
# than failing on a function it lacks. tests/static/check_pe.sh holds every header to the functions
# its binary imports.
#
# Windows Vista (6.0) for every program that links the -posix toolchain's thread runtime
# (winpthreads, which libstdc++ pulls in): it imports GetTickCount64. FennSetup also imports
# CompareStringOrdinal. Both came with Vista. The placeholder libraries use none of that runtime
# and keep the linker's own header.
set(FENN_WINDOWS_MINIMUM 6.0)

function(fenn_minimum_windows target)
  string(REPLACE "." ";" version ${FENN_WINDOWS_MINIMUM})
  list(GET version 0 major)
  list(GET version 1 minor)
  target_link_options(${target} PRIVATE
      "LINKER:--major-os-version,${major},--minor-os-version,${minor}"
      "LINKER:--major-subsystem-version,${major},--minor-subsystem-version,${minor}")
endfunction()
