# The include rule between the source folders, run with `cmake -P`: the shell (app/) sits above
# the scenes, the scenes above the player and the data, and nothing includes upwards.
#   scenes/ may include scenes/, player/ and data/
#   player/ may include player/ only
#   data/   may include data/ only
# The player has one front door: outside player/ and tests/player/ (which tests its insides),
# a player header is player/session.h or one of the plain type headers it includes.
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
set(player_front_door player/session.h player/module.h player/wave_device.h)

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

# The player's front door, for every folder but the player and its own tests.
foreach(folder app scenes data tools bench tests)
  file(GLOB_RECURSE sources "${SOURCE_DIR}/${folder}/*.h" "${SOURCE_DIR}/${folder}/*.hpp"
       "${SOURCE_DIR}/${folder}/*.cpp" "${SOURCE_DIR}/${folder}/*.c")
  foreach(source ${sources})
    file(RELATIVE_PATH name "${SOURCE_DIR}" "${source}")
    if(name MATCHES "^tests/player/")
      continue()
    endif()
    file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]player/")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]*)[\">].*$" "\\1" header
                           "${line}")
      if(NOT header IN_LIST player_front_door)
        list(APPEND violations "${name}: ${header} (outside the player, include player/session.h)")
      endif()
    endforeach()
  endforeach()
endforeach()

if(violations)
  list(JOIN violations "\n  " listed)
  message(FATAL_ERROR "Includes against the layer rule (app above scenes above player and data, "
                      "the player through its session):\n  ${listed}")
endif()
if(STAMP)
  file(TOUCH "${STAMP}")
endif()
