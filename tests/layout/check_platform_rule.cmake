# check_platform_rule.cmake - fails unless the operating system is reached
# through platform/ alone:
#   - no product file (app/, config/, xml/, patcher/, log/) includes
#     <windows.h>, <unistd.h>, <fcntl.h>, <io.h>, <sys/...> or <filesystem>;
#   - no system-conditional block (_WIN32, __linux__, ...) stands in app/,
#     config/, xml/ or patcher/;
#   - platform/ includes nothing of the project but its own headers, and
#     xml/ nothing but its own and platform/'s.
# cmake -DROOT=<source folder> -P check_platform_rule.cmake
if(NOT ROOT)
  message(FATAL_ERROR "usage: cmake -DROOT=<source folder> -P check_platform_rule.cmake")
endif()

set(os_header "#[ \t]*include[ \t]*<(windows\\.h|unistd\\.h|fcntl\\.h|io\\.h|sys/[^>]*|filesystem)>")
set(os_block "#[ \t]*(if|ifdef|ifndef|elif)[^\n]*(_WIN32|_WIN64|__MINGW32__|__MINGW64__|_MSC_VER|__unix__|__linux__|__APPLE__)")
set(project_include "#[ \t]*include[ \t]*\"[^\"]*\"")

set(broken "")

# Adds "file:line: text" to broken for each line of the folder's sources
# matching the pattern, unless it also matches the allowed pattern.
function(gv_check folder pattern allowed what)
  file(GLOB_RECURSE sources ${ROOT}/${folder}/*.h ${ROOT}/${folder}/*.cpp)
  foreach(source ${sources})
    file(STRINGS ${source} lines REGEX "${pattern}")
    foreach(line ${lines})
      if(allowed STREQUAL "" OR NOT line MATCHES "${allowed}")
        file(RELATIVE_PATH name ${ROOT} ${source})
        list(APPEND broken "${name}: ${what}: ${line}")
      endif()
    endforeach()
  endforeach()
  set(broken "${broken}" PARENT_SCOPE)
endfunction()

foreach(folder app config xml patcher log)
  gv_check(${folder} "${os_header}" "" "system header outside platform/")
endforeach()
foreach(folder app config xml patcher)
  gv_check(${folder} "${os_block}" "" "system-conditional block outside platform/")
endforeach()
gv_check(platform "${project_include}" "\"platform/[a-z_]+\\.h\"" "platform/ depends on the project")
file(GLOB xml_headers RELATIVE ${ROOT}/xml ${ROOT}/xml/*.h)
string(REPLACE ";" "|" xml_headers "${xml_headers}")
string(REPLACE "." "\\." xml_headers "${xml_headers}")
gv_check(xml "${project_include}" "\"(platform/[a-z_]+\\.h|${xml_headers})\""
         "the XML library depends on more than platform/")

if(broken)
  string(REPLACE ";" "\n  " report "${broken}")
  message(FATAL_ERROR "the operating system is reached outside platform/:\n  ${report}")
endif()
