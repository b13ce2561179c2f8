# Installs the build into a scratch prefix and checks what a desktop and a Debian package
# need: both programs, an entry that opens HP-GL files with the window, its description
# under the same id, icons at every size, manual pages, completion and the package's
# copyright and changelog.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} RESULT_VARIABLE failed OUTPUT_QUIET)
set(id io.github.korvex.Korvex)
foreach(file bin/korvex bin/korvex-cli share/mime/packages/korvex.xml share/applications/${id}.desktop
        share/metainfo/${id}.metainfo.xml share/icons/hicolor/scalable/apps/korvex.svg share/man/man1/korvex.1.gz
        share/man/man1/korvex-cli.1.gz share/bash-completion/completions/korvex-cli share/doc/korvex/copyright
        share/doc/korvex/changelog.gz)
  if(failed OR NOT EXISTS ${PREFIX}/${file})
    message(FATAL_ERROR "${file} is not installed")
  endif()
endforeach()
file(STRINGS ${PREFIX}/share/applications/${id}.desktop entry)
foreach(line "Exec=korvex %f" "Icon=korvex" "MimeType=application/vnd.hp-hpgl;")
  if(NOT line IN_LIST entry)
    message(FATAL_ERROR "the desktop entry lacks ${line}")
  endif()
endforeach()
file(READ ${PREFIX}/share/metainfo/${id}.metainfo.xml metainfo)
foreach(text "<id>${id}</id>" "<launchable type=\"desktop-id\">${id}.desktop</launchable>")
  string(FIND "${metainfo}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the metainfo lacks ${text}")
  endif()
endforeach()
# Width and height are the first two words of the PNG's IHDR chunk.
foreach(size 16 32 48 64 128 256)
  file(READ ${PREFIX}/share/icons/hicolor/${size}x${size}/apps/korvex.png header LIMIT 24 HEX)
  math(EXPR side "${size}" OUTPUT_FORMAT HEXADECIMAL)
  string(REPLACE "0x" "" side "${side}")
  string(LENGTH "${side}" digits)
  math(EXPR pad "8 - ${digits}")
  string(REPEAT "0" ${pad} zeros)
  set(word "${zeros}${side}")
  if(NOT header STREQUAL "89504e470d0a1a0a0000000d49484452${word}${word}")
    message(FATAL_ERROR "the ${size}-pixel icon is not a ${size} x ${size} PNG: ${header}")
  endif()
endforeach()
file(REMOVE_RECURSE ${PREFIX})
