# The resources of FennSetup.exe: the payload containers, packed at build time by a vxtool that
# runs on the build host, the release codec library and the icon pieces, all staged in one folder
# that the resource script reads from, together with the payload part of the script itself, which
# is written from payloads.txt.
#
# Inputs: the files in FENN_PAYLOAD_DIR when it is set, otherwise the stand-ins of this build (one
# for each name of the table). Each container records the table's three times, or with
# FENN_PAYLOAD_TIMES=files the input file's own.
set(FENN_HOST_VXTOOL "" CACHE FILEPATH
    "vxtool built for the build host; empty: build one from this source tree")

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(FENN_RESOURCE_STAGE ${CMAKE_CURRENT_BINARY_DIR}/resource-stage)
set(FENN_RESOURCE_SCRIPTS ${CMAKE_CURRENT_LIST_DIR})
set(FENN_PAYLOAD_TABLE ${FENN_RESOURCE_SCRIPTS}/payloads.txt)
file(MAKE_DIRECTORY ${FENN_RESOURCE_STAGE})

# ---- The host vxtool ------------------------------------------------------------------------
# The cross build's own vxtool is a Windows program; the containers are packed by one built for
# the host from this same source tree, with the host's compiler.
if(FENN_HOST_VXTOOL)
  set(FENN_VXTOOL ${FENN_HOST_VXTOOL})
  set(FENN_VXTOOL_DEPENDS ${FENN_HOST_VXTOOL})
else()
  include(ExternalProject)
  include(${PROJECT_SOURCE_DIR}/cmake/reproducible.cmake)
  set(host_build ${CMAKE_BINARY_DIR}/host-tools)
  set(FENN_VXTOOL ${host_build}/tools/vxtool/vxtool)
  fenn_prefix_map_flags(host_flags ${PROJECT_SOURCE_DIR} ${host_build})
  # No --parallel: `cmake --build` then takes the job count from CMAKE_BUILD_PARALLEL_LEVEL, as
  # the outer build does, or leaves it to the build tool.
  ExternalProject_Add(fenn_host_vxtool
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${host_build}
      CMAKE_GENERATOR Ninja
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=Release -DFENN_BUILD_TESTS=OFF
                 "-DCMAKE_C_FLAGS=${host_flags}" "-DCMAKE_CXX_FLAGS=${host_flags}"
      BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target vxtool
      BUILD_BYPRODUCTS ${FENN_VXTOOL}
      BUILD_ALWAYS ON
      INSTALL_COMMAND ""
      STEP_TARGETS build)
  set(FENN_VXTOOL_DEPENDS fenn_host_vxtool)
endif()

# ---- The payload table ----------------------------------------------------------------------
if(NOT FENN_PAYLOAD_TIMES MATCHES "^(table|files)$")
  message(FATAL_ERROR "FENN_PAYLOAD_TIMES is '${FENN_PAYLOAD_TIMES}'; it takes table or files")
endif()
set(table_check ${Python3_EXECUTABLE} ${FENN_RESOURCE_SCRIPTS}/payload_table.py ${FENN_PAYLOAD_TABLE})
if(FENN_PAYLOAD_DIR)
  list(APPEND table_check --payload-dir ${FENN_PAYLOAD_DIR})
endif()
execute_process(COMMAND ${table_check} OUTPUT_VARIABLE table_rows ERROR_VARIABLE table_error
                RESULT_VARIABLE table_result)
if(NOT table_result EQUAL 0)
  string(STRIP "${table_error}" table_error)
  message(FATAL_ERROR "${table_error}")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${FENN_PAYLOAD_TABLE}
             ${FENN_RESOURCE_SCRIPTS}/payload_table.py ${FENN_RESOURCE_SCRIPTS}/ResourceIds.h)
string(REPLACE "\n" ";" table_rows "${table_rows}")

# ---- Containers and the payload part of the resource script ---------------------------------
set(FENN_RESOURCE_FILES "")
set(FENN_PAYLOAD_INPUTS "")
set(strings "")
set(entries "")
foreach(row IN LISTS table_rows)
  if(row STREQUAL "")
    continue()
  endif()
  string(REPLACE " " ";" row "${row}")
  list(GET row 0 id)
  list(GET row 1 name)
  list(SUBLIST row 2 3 times)
  list(JOIN times "," times)
  if(FENN_PAYLOAD_DIR)
    set(input ${FENN_PAYLOAD_DIR}/${name})
    set(input_depends ${input})
  else()
    set(input_depends ${FENN_STANDIN_FOR_${name}})
    if(NOT input_depends)
      message(FATAL_ERROR "${FENN_PAYLOAD_TABLE}: no stand-in is built for ${name}; "
                          "name a folder of real payloads with -DFENN_PAYLOAD_DIR")
    endif()
    set(input $<TARGET_FILE:${input_depends}>)
  endif()
  set(time_option --times ${times})
  if(FENN_PAYLOAD_TIMES STREQUAL "files")
    set(time_option "")
  endif()
  set(packed ${FENN_RESOURCE_STAGE}/payload${id}.packed)
  set(stored ${FENN_RESOURCE_STAGE}/payload${id}.vx)
  add_custom_command(OUTPUT ${stored}
      COMMAND ${FENN_VXTOOL} pack -f -l 9 ${time_option} ${input} ${packed}
      COMMAND ${Python3_EXECUTABLE} ${FENN_RESOURCE_SCRIPTS}/pad_payload.py ${packed} ${stored}
      DEPENDS ${FENN_VXTOOL_DEPENDS} ${FENN_RESOURCE_SCRIPTS}/pad_payload.py ${input_depends}
              ${FENN_PAYLOAD_TABLE}
      COMMENT "Packing payload ${id} (${name})"
      VERBATIM)
  list(APPEND FENN_RESOURCE_FILES ${stored})
  list(APPEND FENN_PAYLOAD_INPUTS ${input})
  string(APPEND strings "  ${id} \"${name}\"\n")
  string(APPEND entries "${id} FENN_PAYLOAD_TYPE \"payload${id}.vx\"\n")
endforeach()
# Rewritten only when its text changes, so that an unchanged table compiles nothing again.
set(FENN_PAYLOAD_SCRIPT ${FENN_RESOURCE_STAGE}/payloads.rc)
file(CONFIGURE OUTPUT ${FENN_PAYLOAD_SCRIPT} @ONLY CONTENT
"// Written by the build from payloads.txt: the payload catalogue (string N names the file that
// payload N becomes) and the containers, each padded with zero bytes to a multiple of four.
STRINGTABLE
BEGIN
${strings}END

${entries}")
list(APPEND FENN_RESOURCE_FILES ${FENN_PAYLOAD_SCRIPT})
# For the static checks of the finished executable.
set_property(GLOBAL PROPERTY FENN_PAYLOAD_INPUTS ${FENN_PAYLOAD_INPUTS})
set_property(GLOBAL PROPERTY FENN_PAYLOAD_TABLE ${FENN_PAYLOAD_TABLE})

# ---- The setup's own codec library (resource 1001) -----------------------------------------
# A copy of the release library as linked (and signed, when the build signs).
add_custom_command(OUTPUT ${FENN_RESOURCE_STAGE}/codec1001.dll
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:complib> ${FENN_RESOURCE_STAGE}/codec1001.dll
    DEPENDS complib
    VERBATIM)
list(APPEND FENN_RESOURCE_FILES ${FENN_RESOURCE_STAGE}/codec1001.dll)

# ---- Icon pieces ---------------------------------------------------------------------------
# The group names its images by id, so it is written with the id the resource script gives them.
file(STRINGS ${FENN_RESOURCE_SCRIPTS}/ResourceIds.h first_image_id
     REGEX "^#define FENN_ICON_IMAGE_FIRST_ID [0-9]+$")
string(REGEX REPLACE ".* " "" first_image_id "${first_image_id}")
set(icon_group ${FENN_RESOURCE_STAGE}/icon-group.bin)
set(icon_images ${FENN_RESOURCE_STAGE}/icon-image1.bin ${FENN_RESOURCE_STAGE}/icon-image2.bin)
set(icon_pieces ${icon_group} ${icon_images})
add_custom_command(OUTPUT ${icon_pieces}
    COMMAND ${Python3_EXECUTABLE} ${FENN_RESOURCE_SCRIPTS}/split_icon.py
            ${FENN_RESOURCE_SCRIPTS}/FennSetup.ico ${icon_group} ${first_image_id} ${icon_images}
    DEPENDS ${FENN_RESOURCE_SCRIPTS}/split_icon.py ${FENN_RESOURCE_SCRIPTS}/FennSetup.ico
            ${FENN_RESOURCE_SCRIPTS}/ResourceIds.h
    VERBATIM)
list(APPEND FENN_RESOURCE_FILES ${icon_pieces} ${FENN_RESOURCE_SCRIPTS}/FennSetup.manifest)
