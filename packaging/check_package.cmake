# check_package.cmake - run by cpack once it has packed: fails the packing
# unless each package holds exactly the release's files, the zip's text in
# CR LF and its README.txt the players' guide.

cmake_policy(VERSION 3.25)

# Unpacks ARCHIVE into the folder INTO and sets FILES to its files, paths
# relative to INTO, sorted.
function(gv_unpack archive into files)
  file(REMOVE_RECURSE ${into})
  file(ARCHIVE_EXTRACT INPUT ${archive} DESTINATION ${into})
  file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE ${into} ${into}/*)
  list(SORT found)
  set(${files} ${found} PARENT_SCOPE)
endfunction()

function(gv_expect_files package found expected)
  list(SORT expected)
  if(NOT found STREQUAL expected)
    string(REPLACE ";" "\n  " found "${found}")
    string(REPLACE ";" "\n  " expected "${expected}")
    message(FATAL_ERROR "${package} holds\n  ${found}\nnot\n  ${expected}")
  endif()
endfunction()

# Sets BYTES to the file's bytes, two hex digits and a space each: a text
# read would drop the carriage returns.
function(gv_read_bytes file bytes)
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " spaced "${hex}")
  set(${bytes} "${spaced}" PARENT_SCOPE)
endfunction()

function(gv_check_zip zip)
  set(folder ${CPACK_GVTOOL_CHECK_DIR}/zip)
  gv_unpack(${zip} ${folder} found)
  set(top ${CPACK_PACKAGE_FILE_NAME})
  set(expected ${top}/gvtool.exe ${top}/gvdump.exe ${top}/README.txt ${top}/config.xml
               ${top}/LICENSE.txt ${top}/CHANGELOG.txt)
  if(gvundo IN_LIST CPACK_GVTOOL_PROGRAMS)
    list(APPEND expected ${top}/gvundo.exe)
  endif()
  gv_expect_files(${zip} "${found}" "${expected}")
  foreach(name README.txt config.xml LICENSE.txt CHANGELOG.txt)
    gv_read_bytes(${folder}/${top}/${name} bytes)
    string(REPLACE "0d 0a " "" rest "${bytes}")
    if(rest MATCHES "(^| )0[ad] " OR rest STREQUAL bytes)
      message(FATAL_ERROR "${zip}: ${name} does not end every line in CR LF")
    endif()
  endforeach()
  gv_read_bytes(${folder}/${top}/README.txt readme)
  gv_read_bytes(${CPACK_GVTOOL_SOURCE_DIR}/docs/players.md guide)
  string(REPLACE "0d 0a " "0a " readme "${readme}")
  if(NOT readme STREQUAL guide)
    message(FATAL_ERROR "${zip}: README.txt is not the players' guide (docs/players.md)")
  endif()
endfunction()

function(gv_check_deb deb)
  set(folder ${CPACK_GVTOOL_CHECK_DIR}/deb)
  gv_unpack(${deb} ${folder} parts)
  list(FILTER parts INCLUDE REGEX "^data\\.tar")
  gv_unpack(${folder}/${parts} ${folder}/data found)
  set(expected usr/bin/gvtool usr/bin/gvdump usr/bin/gvmksave
               usr/share/man/man1/gvtool.1.gz usr/share/man/man1/gvdump.1.gz
               usr/share/man/man1/gvmksave.1.gz
               usr/share/doc/gvtool/README.md usr/share/doc/gvtool/players.md
               usr/share/doc/gvtool/CHANGELOG.md usr/share/doc/gvtool/copyright)
  if(gvundo IN_LIST CPACK_GVTOOL_PROGRAMS)
    list(APPEND expected usr/bin/gvundo usr/share/man/man1/gvundo.1.gz)
  endif()
  gv_expect_files(${deb} "${found}" "${expected}")
endfunction()

foreach(package ${CPACK_PACKAGE_FILES})
  if(package MATCHES "\\.zip$")
    gv_check_zip(${package})
  elseif(package MATCHES "\\.deb$")
    gv_check_deb(${package})
  else()
    message(FATAL_ERROR "no check for the package ${package}")
  endif()
  message(STATUS "checked ${package}")
endforeach()
