# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree into a scratch folder under the package's prefix (/usr) and checks
# what a desktop and the package rely on: the command's name, the map page and its link to
# Leaflet, the icon's sizes, a menu entry and AppStream metadata that validate and name each
# other, the manual page and the documents, and nothing outside /usr/bin and /usr/share.
# cmake -DBUILD_DIR=... -DSCRATCH=... -P check_install_layout.cmake
set(errors "")
macro(fail message)
  list(APPEND errors "${message}")
endmacro()
macro(require path message)
  if(NOT (EXISTS "${path}"))
    fail("${message}")
  endif()
endmacro()
# Runs a validator on a file when the tool is installed; its complaint is the failure.
macro(validate tool)
  find_program(VALIDATOR_${tool} ${tool})
  if(VALIDATOR_${tool})
    execute_process(COMMAND ${VALIDATOR_${tool}} ${ARGN}
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT (rc EQUAL 0))
      fail("${tool}: ${out}")
    endif()
  endif()
endmacro()

file(REMOVE_RECURSE "${SCRATCH}")
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env DESTDIR=${SCRATCH}
    ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix /usr
  RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${err}")
endif()
set(usr "${SCRATCH}/usr")

# The command.
require("${usr}/bin/dashcard-player" "no usr/bin/dashcard-player")
if(EXISTS "${usr}/bin/player")
  fail("a usr/bin/player is installed")
endif()
execute_process(COMMAND "${usr}/bin/dashcard-player" --version
  RESULT_VARIABLE rc OUTPUT_VARIABLE version)
if(NOT (rc EQUAL 0))
  fail("the installed program did not answer --version")
endif()
if(NOT (version MATCHES "^dashcard-player [0-9.]+\n$"))
  fail("--version said: ${version}")
endif()

# The map page, with Leaflet through a relative link to libjs-leaflet's folder.
set(data "${usr}/share/dashcard-player")
require("${data}/Google-earth.html" "no map page in share/dashcard-player")
if(NOT (IS_SYMLINK "${data}/leaflet"))
  fail("share/dashcard-player/leaflet is not a link")
endif()
file(READ_SYMLINK "${data}/leaflet" link)
if(IS_ABSOLUTE "${link}")
  fail("the leaflet link is absolute: ${link}")
endif()
get_filename_component(target "/usr/share/dashcard-player/${link}" ABSOLUTE)
require("${target}/leaflet.js" "the leaflet link points to ${target}, without leaflet.js")

# The icon: SVG and every PNG size, each PNG as large as its folder says.
require("${usr}/share/icons/hicolor/scalable/apps/dashcard-player.svg" "no SVG icon")
foreach(size 16 22 24 32 48 64 128 256)
  set(png "${usr}/share/icons/hicolor/${size}x${size}/apps/dashcard-player.png")
  if(NOT EXISTS "${png}")
    list(APPEND errors "no ${size}x${size} icon")
    continue()
  endif()
  file(READ "${png}" header OFFSET 16 LIMIT 8 HEX)
  string(SUBSTRING "${header}" 0 8 w)
  string(SUBSTRING "${header}" 8 8 h)
  math(EXPR w "0x${w}")
  math(EXPR h "0x${h}")
  if(NOT ("${w}x${h}" STREQUAL "${size}x${size}"))
    fail("the ${size}x${size} icon is ${w}x${h}")
  endif()
endforeach()

# The menu entry and the metadata: valid, and pointing at the command, the icon and each other.
file(GLOB desktops "${usr}/share/applications/*.desktop")
file(GLOB metainfos "${usr}/share/metainfo/*.metainfo.xml")
list(LENGTH desktops nd)
list(LENGTH metainfos nm)
if(NOT (nd EQUAL 1))
  fail("expected one desktop entry, found ${nd}")
endif()
if(NOT (nm EQUAL 1))
  fail("expected one metainfo file, found ${nm}")
endif()
if(nd EQUAL 1 AND nm EQUAL 1)
  file(READ "${desktops}" entry)
  if(NOT (entry MATCHES "\nExec=dashcard-player %f\n"))
    fail("the entry does not run dashcard-player %f")
  endif()
  if(NOT (entry MATCHES "\nIcon=dashcard-player\n"))
    fail("the entry's icon is not dashcard-player")
  endif()
  if(NOT (entry MATCHES "\nMimeType=[^\n]*video/x-ms-asf;"))
    fail("the entry does not take video/x-ms-asf")
  endif()
  get_filename_component(desktop_id "${desktops}" NAME)
  file(READ "${metainfos}" meta)
  if(NOT (meta MATCHES "<launchable type=\"desktop-id\">${desktop_id}</launchable>"))
    fail("the metadata does not launch ${desktop_id}")
  endif()
  validate(desktop-file-validate "${desktops}")
  validate(appstreamcli validate --no-net "${metainfos}")
endif()

# The manual page and the package's documents.
require("${usr}/share/man/man1/dashcard-player.1.gz" "no manual page")
require("${usr}/share/doc/dashcard-player/copyright" "no copyright file")
require("${usr}/share/doc/dashcard-player/changelog.gz" "no changelog")

# Nothing elsewhere.
file(GLOB_RECURSE all LIST_DIRECTORIES false RELATIVE "${SCRATCH}" "${SCRATCH}/*")
foreach(f ${all})
  if(NOT f MATCHES "^usr/(bin|share)/")
    list(APPEND errors "installed outside usr/bin and usr/share: ${f}")
  endif()
endforeach()

file(REMOVE_RECURSE "${SCRATCH}")
if(errors)
  list(JOIN errors "\n  " text)
  message(FATAL_ERROR "install layout:\n  ${text}")
endif()
message(STATUS "install layout: ok")
