# programs.cmake - what the release's programs share, through gv_program:
# the version, a version resource on Windows, a static link on Linux, and a
# place in the target `programs` and in the lists that packaging/ installs
# and packs.

# #include "version.h" gives every source GVTOOL_VERSION, in whatever
# program it is built.
configure_file(${CMAKE_CURRENT_LIST_DIR}/version.h.in ${PROJECT_BINARY_DIR}/generated/version.h
               @ONLY)
include_directories(${PROJECT_BINARY_DIR}/generated)

# Windows also wants four numbers: 0.01a is 0,1,0,0.
if(NOT GVTOOL_VERSION MATCHES "^([0-9]+)\\.([0-9]+)")
  message(FATAL_ERROR "GVTOOL_VERSION ${GVTOOL_VERSION} does not start with MAJOR.MINOR")
endif()
math(EXPR gv_major "${CMAKE_MATCH_1}")
math(EXPR gv_minor "${CMAKE_MATCH_2}")
set(GVTOOL_VERSION_NUMBERS "${gv_major},${gv_minor},0,0")

# Builds every program and the save maker, nothing else.
add_custom_target(programs)

# A run is short: loading the C++ runtime at start-up cost about as much as
# the rest of a typical run, so the programs link statically (and the Debian
# package needs no other package). Sanitizer runtimes cannot be linked
# statically, so builds that use them link dynamically.
option(GVTOOL_STATIC_LINK "Link the programs statically" ON)
if(GVTOOL_STATIC_LINK AND CMAKE_SYSTEM_NAME STREQUAL "Linux"
   AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang"
   AND NOT GVTOOL_FUZZ
   AND NOT "${CMAKE_CXX_FLAGS} ${CMAKE_EXE_LINKER_FLAGS}" MATCHES "-fsanitize")
  set(GVTOOL_LINK_STATIC ON)
else()
  set(GVTOOL_LINK_STATIC OFF)
endif()

set(GVTOOL_RESOURCE_TEMPLATE ${CMAKE_CURRENT_LIST_DIR}/version.rc.in)

# gv_program(NAME DESCRIPTION SOURCES... LIBS... [PLAYERS]): the program NAME,
# described in one line for the file's properties on Windows. PLAYERS puts
# it in the players' zip; every program is installed on Linux and in the
# Debian package, with its manual page docs/man/NAME.1 where there is one.
function(gv_program name description)
  cmake_parse_arguments(P "PLAYERS" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_link_libraries(${name} PRIVATE ${P_LIBS})
  if(GVTOOL_LINK_STATIC)
    target_link_options(${name} PRIVATE -static)
  endif()
  if(WIN32)
    set(GV_PROGRAM ${name})
    set(GV_DESCRIPTION "${description}")
    configure_file(${GVTOOL_RESOURCE_TEMPLATE} ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc @ONLY)
    target_sources(${name} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc)
  endif()
  add_dependencies(programs ${name})
  set_property(GLOBAL APPEND PROPERTY GVTOOL_PROGRAMS ${name})
  if(P_PLAYERS)
    set_property(GLOBAL APPEND PROPERTY GVTOOL_PLAYER_PROGRAMS ${name})
  endif()
endfunction()
