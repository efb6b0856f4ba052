# The Debian package: `cpack -G DEB` in a build configured with CMAKE_INSTALL_PREFIX=/usr
# (scripts/package does that) builds quelvar_<version>_<arch>.deb from the install rules, plus
# what only a package installs: system-wide host manifests, the copyright file, the changelog,
# manual pages and the lintian overrides. Those are in the component "package", left out of
# `cmake --install`, which must not write into /etc or a user's prefix behind their back.

set(QUELVAR_PACKAGE_MAINTAINER "Quelvar developers <quelvar@example.org>"
  CACHE STRING "Maintainer field of the Debian package")
set(package_files ${CMAKE_BINARY_DIR}/package)
set(package_source ${CMAKE_SOURCE_DIR}/packaging)

# System-wide native messaging host folders on Linux, one per browser family that reads its own:
# - Google Chrome (stable, beta and dev share it): /etc/opt/chrome/native-messaging-hosts, and
#   Chromium: /etc/chromium/native-messaging-hosts, both from "Native messaging host location",
#   https://developer.chrome.com/docs/extensions/develop/concepts/native-messaging
# - Brave reads Google Chrome's folders (brave/brave-browser#88, fixed by brave/brave-core#53:
#   "fix native messaging dir for extensions that expect Google/Chrome"), so Chrome's covers it.
# - Microsoft Edge: /etc/opt/edge/native-messaging-hosts, from "Native messaging",
#   https://learn.microsoft.com/microsoft-edge/extensions/developer-guide/native-messaging
# - Vivaldi documents no system folder. /etc/opt/vivaldi/native-messaging-hosts follows Chrome's
#   /etc/opt/<browser> pattern and is where browserpass-native's `make hosts-vivaldi` installs
#   (https://github.com/browserpass/browserpass-native, Makefile); unverified against Vivaldi.
set(QUELVAR_SYSTEM_MANIFEST_DIRS
  /etc/opt/chrome/native-messaging-hosts
  /etc/chromium/native-messaging-hosts
  /etc/opt/edge/native-messaging-hosts
  /etc/opt/vivaldi/native-messaging-hosts)

# The manifests have the layout the app's own "Connect extension" writes (sorted keys, two-space
# indent), so a per-user registration and the system-wide one read alike.
set(conffiles "")
if(QUELVAR_CHROME_EXTENSION_ID STREQUAL "")
  message(STATUS "No built-in extension ID (QUELVAR_CHROME_EXTENSION_ID): the package will carry "
                 "no system-wide host manifests")
else()
  foreach(host org.quelvar.host:QuelvarHost org.quelvar.speech:QuelvarSpeech)
    string(REPLACE ":" ";" host "${host}")
    list(GET host 0 name)
    list(GET host 1 program)
    set(manifest ${package_files}/manifests/${name}.json)
    file(WRITE ${manifest}.new "{
  \"allowed_origins\": [
    \"chrome-extension://${QUELVAR_CHROME_EXTENSION_ID}/\"
  ],
  \"description\": \"Local on-device subtitle translation\",
  \"name\": \"${name}\",
  \"path\": \"${CMAKE_INSTALL_PREFIX}/${QUELVAR_HELPER_DIR}/${program}\",
  \"type\": \"stdio\"
}
")
    configure_file(${manifest}.new ${manifest} COPYONLY)
    foreach(dir ${QUELVAR_SYSTEM_MANIFEST_DIRS})
      install(FILES ${manifest} DESTINATION ${dir} COMPONENT package EXCLUDE_FROM_ALL)
      string(APPEND conffiles "${dir}/${name}.json\n")
    endforeach()
  endforeach()
endif()
# Files under /etc are configuration files: dpkg keeps a changed one on upgrade, purge removes it.
file(WRITE ${package_files}/control/conffiles.new "${conffiles}")
configure_file(${package_files}/control/conffiles.new ${package_files}/control/conffiles COPYONLY)

# Debian compresses changelogs and manual pages, without a timestamp.
function(quelvar_gzip source compressed)
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${compressed} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress ${source}")
  endif()
endfunction()

string(TIMESTAMP changelog_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE ${package_files}/changelog "quelvar (${PROJECT_VERSION}) unstable; urgency=medium

  * Quelvar ${PROJECT_VERSION}.

 -- ${QUELVAR_PACKAGE_MAINTAINER}  ${changelog_date}
")
quelvar_gzip(${package_files}/changelog ${package_files}/changelog.gz)
install(FILES ${package_source}/copyright ${package_files}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quelvar COMPONENT package EXCLUDE_FROM_ALL)
foreach(page QuelvarApp.1 quelvar-caption.1)
  quelvar_gzip(${package_source}/${page} ${package_files}/${page}.gz)
  install(FILES ${package_files}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
    COMPONENT package EXCLUDE_FROM_ALL)
endforeach()
install(FILES ${package_source}/lintian-overrides
  DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME quelvar
  COMPONENT package EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quelvar)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quelvar developers")
set(CPACK_PACKAGE_CONTACT "${QUELVAR_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "private live subtitles for browser tabs, translated on-device")
file(READ ${package_source}/description CPACK_PACKAGE_DESCRIPTION)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# Every component, the package-only one included, in one package.
get_cmake_property(CPACK_COMPONENTS_ALL COMPONENTS)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the libraries: the English speech model, the translation engine with one English pair,
# and Qt's window-system plugins, without which the app cannot open a window.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "pocketsphinx-en-us, apertium, apertium-eng-spa, qt6-qpa-plugins")
# The other pairs with English that Debian 12 packages.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "apertium-eng-cat, apertium-en-gl, apertium-eo-en, \
apertium-eu-en, apertium-hbs-eng, apertium-isl-eng, apertium-mkd-eng")
if(NOT conffiles STREQUAL "")
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${package_files}/control/conffiles)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
