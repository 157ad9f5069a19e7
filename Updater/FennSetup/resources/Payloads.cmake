# The resources of FennSetup.exe: the four payload containers, packed at build time by a vxtool
# that runs on the build host, the release codec library and the icon pieces, all staged in one
# folder that the resource script reads from.
#
# Inputs: the files in FENN_PAYLOAD_DIR when it is set, otherwise the stand-ins of this build and
# the debug codec library. FENN_CORRUPT_PAYLOAD names one payload id whose container gets one
# damaged byte in its body (a setup for the tests of a failing extraction).
set(FENN_CORRUPT_PAYLOAD "" CACHE STRING
    "Payload id (101-104) whose container is damaged on purpose; empty for none")
set(FENN_HOST_VXTOOL "" CACHE FILEPATH
    "vxtool built for the build host; empty: build one from this source tree")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(FENN_RESOURCE_STAGE ${CMAKE_CURRENT_BINARY_DIR}/resource-stage)
set(FENN_RESOURCE_SCRIPTS ${CMAKE_CURRENT_LIST_DIR})
file(MAKE_DIRECTORY ${FENN_RESOURCE_STAGE})

# ---- The host vxtool ------------------------------------------------------------------------
# The cross build's own vxtool is a Windows program; the containers are packed by one built for
# the host from this same source tree, with the host's compiler.
if(FENN_HOST_VXTOOL)
  set(FENN_VXTOOL ${FENN_HOST_VXTOOL})
  set(FENN_VXTOOL_DEPENDS ${FENN_HOST_VXTOOL})
else()
  include(ExternalProject)
  set(host_build ${CMAKE_BINARY_DIR}/host-tools)
  set(FENN_VXTOOL ${host_build}/tools/vxtool/vxtool)
  ExternalProject_Add(fenn_host_vxtool
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${host_build}
      CMAKE_GENERATOR Ninja
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DFENN_BUILD_TESTS=OFF
      BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target vxtool --parallel 2
      BUILD_BYPRODUCTS ${FENN_VXTOOL}
      BUILD_ALWAYS ON
      INSTALL_COMMAND ""
      STEP_TARGETS build)
  set(FENN_VXTOOL_DEPENDS fenn_host_vxtool)
endif()

# ---- Payload inputs -------------------------------------------------------------------------
set(payload_ids 101 102 103 104)
set(payload_names CompLib.dll K3Fenn.exe cfgmgr32.dll setupapi.dll)
if(FENN_PAYLOAD_DIR)
  foreach(name ${payload_names})
    if(NOT EXISTS ${FENN_PAYLOAD_DIR}/${name})
      message(FATAL_ERROR "FENN_PAYLOAD_DIR (${FENN_PAYLOAD_DIR}) has no ${name}")
    endif()
    list(APPEND payload_inputs ${FENN_PAYLOAD_DIR}/${name})
  endforeach()
  set(payload_targets "" "" "" "")
else()
  set(payload_targets complib_debug fenn_standin_k3fenn fenn_standin_cfgmgr32 fenn_standin_setupapi)
  foreach(target ${payload_targets})
    list(APPEND payload_inputs $<TARGET_FILE:${target}>)
  endforeach()
endif()
# For the static checks of the finished executable.
set_property(GLOBAL PROPERTY FENN_HOST_VXTOOL_PATH ${FENN_VXTOOL})
set_property(GLOBAL PROPERTY FENN_PAYLOAD_INPUTS ${payload_inputs})
if(FENN_CORRUPT_PAYLOAD AND NOT FENN_CORRUPT_PAYLOAD IN_LIST payload_ids)
  message(FATAL_ERROR "FENN_CORRUPT_PAYLOAD must be one of ${payload_ids}")
endif()

# ---- Containers -----------------------------------------------------------------------------
set(FENN_RESOURCE_FILES "")
foreach(index RANGE 3)
  list(GET payload_ids ${index} id)
  list(GET payload_inputs ${index} input)
  set(depends ${FENN_VXTOOL_DEPENDS} ${FENN_RESOURCE_SCRIPTS}/pad_payload.py)
  if(FENN_PAYLOAD_DIR)
    list(APPEND depends ${input})
  else()
    list(GET payload_targets ${index} target)
    list(APPEND depends ${target})
  endif()
  set(damage "")
  if(FENN_CORRUPT_PAYLOAD STREQUAL id)
    set(damage --damage-body)
  endif()
  set(packed ${FENN_RESOURCE_STAGE}/payload${id}.packed)
  set(stored ${FENN_RESOURCE_STAGE}/payload${id}.vx)
  add_custom_command(OUTPUT ${stored}
      COMMAND ${FENN_VXTOOL} pack -l 9 ${input} ${packed}
      COMMAND ${Python3_EXECUTABLE} ${FENN_RESOURCE_SCRIPTS}/pad_payload.py ${damage} ${packed}
              ${stored}
      DEPENDS ${depends}
      COMMENT "Packing payload ${id}"
      VERBATIM)
  list(APPEND FENN_RESOURCE_FILES ${stored})
endforeach()

# ---- The setup's own codec library (resource 1001) -----------------------------------------
add_custom_command(OUTPUT ${FENN_RESOURCE_STAGE}/codec1001.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:complib> ${FENN_RESOURCE_STAGE}/codec1001.dll
    DEPENDS complib
    VERBATIM)
list(APPEND FENN_RESOURCE_FILES ${FENN_RESOURCE_STAGE}/codec1001.dll)

# ---- Icon pieces ---------------------------------------------------------------------------
set(icon_group ${FENN_RESOURCE_STAGE}/icongroup1.bin)
set(icon_images ${FENN_RESOURCE_STAGE}/icon30001.bin ${FENN_RESOURCE_STAGE}/icon30002.bin)
set(icon_pieces ${icon_group} ${icon_images})
add_custom_command(OUTPUT ${icon_pieces}
    COMMAND ${Python3_EXECUTABLE} ${FENN_RESOURCE_SCRIPTS}/split_icon.py
            ${FENN_RESOURCE_SCRIPTS}/FennSetup.ico ${icon_group} 30001 ${icon_images}
    DEPENDS ${FENN_RESOURCE_SCRIPTS}/split_icon.py ${FENN_RESOURCE_SCRIPTS}/FennSetup.ico
    VERBATIM)
list(APPEND FENN_RESOURCE_FILES ${icon_pieces} ${FENN_RESOURCE_SCRIPTS}/FennSetup.manifest)
