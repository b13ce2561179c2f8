# Installs the build into a scratch prefix and checks that a desktop finds what it needs:
# both programs, an entry that opens HP-GL files with the window, and a 48-pixel icon.
# Run as: cmake -DBUILD_DIR=... -DPREFIX=... -P install_check.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(result)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()

foreach(program korvex korvex-cli)
  if(NOT EXISTS ${PREFIX}/bin/${program} OR IS_DIRECTORY ${PREFIX}/bin/${program})
    message(FATAL_ERROR "bin/${program} is not installed")
  endif()
endforeach()

set(entry ${PREFIX}/share/applications/korvex.desktop)
file(STRINGS ${entry} lines)
foreach(wanted "Exec=korvex %f" "Icon=korvex" "MimeType=application/vnd.hp-hpgl;")
  if(NOT wanted IN_LIST lines)
    message(FATAL_ERROR "${entry} lacks the line ${wanted}")
  endif()
endforeach()

# The PNG header holds the width and height as the first two words of its IHDR chunk.
set(icon ${PREFIX}/share/icons/hicolor/48x48/apps/korvex.png)
file(READ ${icon} header LIMIT 24 HEX)
if(NOT header MATCHES "^89504e470d0a1a0a0000000d4948445200000030" OR NOT header MATCHES "00000030$")
  message(FATAL_ERROR "${icon} is not a 48 x 48 PNG: ${header}")
endif()

file(STRINGS ${PREFIX}/share/mime/packages/korvex.xml mime REGEX "glob pattern=\"\\*\\.plt\"")
if(NOT mime)
  message(FATAL_ERROR "the MIME package does not name *.plt")
endif()
file(REMOVE_RECURSE ${PREFIX})
