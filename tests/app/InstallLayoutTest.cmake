# Installs the build tree into a throwaway root (DESTDIR) and checks the layout the companion app
# relies on: its helpers beside it, and a desktop entry that names the configured prefix.
# Inputs: BUILD_DIR, DESTDIR, INSTALL_PREFIX.
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${DESTDIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "DESTDIR=${DESTDIR}"
                        "${CMAKE_COMMAND}" --install "${BUILD_DIR}"
  RESULT_VARIABLE failed OUTPUT_QUIET)
set(root "${DESTDIR}${INSTALL_PREFIX}")
file(STRINGS "${root}/share/applications/org.quelvar.QuelvarApp.desktop" entry)
foreach(program bin/QuelvarApp libexec/quelvar/QuelvarHost libexec/quelvar/QuelvarSpeech)
  execute_process(COMMAND test -x "${root}/${program}" RESULT_VARIABLE missing)
  if(failed OR missing OR NOT "Exec=\"${INSTALL_PREFIX}/bin/QuelvarApp\"" IN_LIST entry
     OR NOT EXISTS "${root}/share/icons/hicolor/scalable/apps/org.quelvar.QuelvarApp.svg")
    message(FATAL_ERROR "install failed, ${program} is not executable, or the desktop entry or "
                        "icon is wrong: ${entry}")
  endif()
endforeach()
file(REMOVE_RECURSE "${DESTDIR}")
