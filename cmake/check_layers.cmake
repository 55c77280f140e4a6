# The include rule between the source folders, run with `cmake -P`: the shell (app/) sits above
# the scenes, the scenes above the player and the data, and nothing includes upwards.
#   scenes/ may include scenes/, player/ and data/
#   player/ may include player/ only
#   data/   may include data/ only
# A project include is a quoted or bracketed path that starts with one of the source folders,
# or climbs with "..". Any include outside the rule fails with the file, line and header named.
# Arguments: -DSOURCE_DIR=<repository root> [-DSTAMP=<file to touch when the rule holds>].
cmake_minimum_required(VERSION 3.25)
if(NOT SOURCE_DIR)
  message(FATAL_ERROR "check_layers: SOURCE_DIR is not set")
endif()

set(project_folders app scenes player data tools bench tests)
set(allowed_scenes scenes player data)
set(allowed_player player)
set(allowed_data data)

set(violations "")
foreach(layer scenes player data)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.hpp"
       "${SOURCE_DIR}/${layer}/*.cpp" "${SOURCE_DIR}/${layer}/*.c")
  foreach(source ${sources})
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" header
                           "${line}")
      if(header MATCHES "(^|/)\\.\\./")
        list(APPEND violations "${name}: ${header} (climbs out of its folder)")
        continue()
      endif()
      string(REGEX MATCH "^[^/]+" folder "${header}")
      if(NOT header MATCHES "/" OR NOT folder IN_LIST project_folders)
        continue()  # a system or library header
      endif()
      if(NOT folder IN_LIST allowed_${layer})
        list(JOIN allowed_${layer} ", " allowed)
        list(APPEND violations "${name}: ${header} (${layer}/ may include only ${allowed})")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " listed)
  message(FATAL_ERROR "Includes against the layer rule (app above scenes above player and data):\n  ${listed}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
