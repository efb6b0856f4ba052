# Installs the build tree into a throwaway root (DESTDIR) and checks the layout the companion app
# relies on. Inputs: BUILD_DIR, DESTDIR, INSTALL_PREFIX (the configured prefix).
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${DESTDIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${DESTDIR}"
                        "${CMAKE_COMMAND}" --install "${BUILD_DIR}"
  RESULT_VARIABLE failed OUTPUT_QUIET)
if(failed)
  message(FATAL_ERROR "cmake --install failed")
endif()
set(root "${DESTDIR}${INSTALL_PREFIX}")

foreach(program bin/QuelvarApp libexec/quelvar/QuelvarHost libexec/quelvar/QuelvarSpeech)
  execute_process(COMMAND test -f "${root}/${program}" -a -x "${root}/${program}"
    RESULT_VARIABLE missing)
  if(missing)
    message(FATAL_ERROR "${program} is not installed as an executable")
  endif()
endforeach()

set(entry "${root}/share/applications/org.quelvar.QuelvarApp.desktop")
file(STRINGS "${entry}" lines)
foreach(expected "[Desktop Entry]" "Type=Application" "Exec=\"${INSTALL_PREFIX}/bin/QuelvarApp\""
                 "Icon=org.quelvar.QuelvarApp")
  if(NOT expected IN_LIST lines)
    message(FATAL_ERROR "${entry} lacks the line: ${expected}")
  endif()
endforeach()
if(NOT EXISTS "${root}/share/icons/hicolor/scalable/apps/org.quelvar.QuelvarApp.svg")
  message(FATAL_ERROR "the icon is not installed")
endif()
file(REMOVE_RECURSE "${DESTDIR}")
