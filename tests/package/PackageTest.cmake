# Builds the Debian package, checks its control fields and file list, unpacks it into a throwaway
# root and checks that every host manifest names an installed, executable helper.
# Inputs: SOURCE_DIR, VERSION, ROOT (a scratch folder).
cmake_minimum_required(VERSION 3.25)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE failed OUTPUT_VARIABLE out ERROR_VARIABLE err
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(failed)
    message(FATAL_ERROR "${ARGN} failed:\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# expect(<message> <if() condition>...): fails with the message unless the condition holds.
function(expect what)
  if(NOT (${ARGN}))
    message(FATAL_ERROR "${what}")
  endif()
endfunction()

function(expect_executable file)
  execute_process(COMMAND test -f ${file} -a -x ${file} RESULT_VARIABLE missing)
  expect("${file} is not an executable file" NOT missing)
endfunction()

run(${SOURCE_DIR}/scripts/package)
string(REGEX MATCH "[^\n]*\\.deb$" deb "${out}")
expect("scripts/package named no package:\n${out}" deb)
run(dpkg --print-architecture)
get_filename_component(name "${deb}" NAME)
expect("unexpected package file name ${name}" name STREQUAL quelvar_${VERSION}_${out}.deb)

# Control fields: the computed library dependencies, the engines and models, the other pairs.
run(dpkg-deb --field ${deb} Depends)
foreach(needed libqt6widgets6 libpocketsphinx3 libsoxr0 pocketsphinx-en-us apertium
               apertium-eng-spa)
  expect("Depends lacks ${needed}: ${out}" out MATCHES "(^|, )${needed}( |,|$)")
endforeach()
run(dpkg-deb --field ${deb} Recommends)
expect("Recommends lacks apertium-eng-cat: ${out}" out MATCHES apertium-eng-cat)

# The file list: everything under /usr or /etc, nothing from the build machine.
run(dpkg-deb --contents ${deb})
string(REGEX MATCHALL "\\./[^\n]*" paths "${out}")
foreach(path ${paths})
  expect("unexpected path ${path}" path MATCHES "^\\./(usr|etc)?/"
         AND NOT path MATCHES "^\\./(usr/local|build|work|tmp|home|root)/|_CPack")
endforeach()

file(REMOVE_RECURSE ${ROOT})
run(dpkg-deb --extract ${deb} ${ROOT})
run(dpkg-deb --control ${deb} ${ROOT}/DEBIAN)
foreach(file usr/bin/QuelvarApp usr/libexec/quelvar/QuelvarHost usr/libexec/quelvar/QuelvarSpeech)
  expect_executable(${ROOT}/${file})
endforeach()
foreach(file usr/share/icons/hicolor/scalable/apps/org.quelvar.QuelvarApp.svg
             usr/share/doc/quelvar/copyright usr/share/doc/quelvar/changelog.gz
             usr/share/man/man1/QuelvarApp.1.gz usr/share/man/man1/quelvar-caption.1.gz
             usr/share/quelvar/extension/manifest.json)
  expect("the package lacks ${file}" EXISTS ${ROOT}/${file})
endforeach()
file(STRINGS ${ROOT}/usr/share/applications/org.quelvar.QuelvarApp.desktop entry)
expect("the desktop entry reads: ${entry}" Exec=\"/usr/bin/QuelvarApp\" IN_LIST entry)

# Host manifests, if the build has a built-in extension ID: each is a conffile, names its host,
# lets in only that extension and points at an executable in the package.
load_cache(${SOURCE_DIR}/build-package READ_WITH_PREFIX package_ QUELVAR_CHROME_EXTENSION_ID)
set(id "${package_QUELVAR_CHROME_EXTENSION_ID}")
file(GLOB_RECURSE manifests RELATIVE ${ROOT} ${ROOT}/etc/*.json)
list(LENGTH manifests count)
if(id STREQUAL "")
  expect("manifests without a built-in extension ID: ${manifests}" count EQUAL 0)
  file(REMOVE_RECURSE ${ROOT})
  return()
endif()
expect("expected two manifests in each of four folders: ${manifests}" count EQUAL 8)
# The packaged extension's ID follows from the public key in its manifest: the first 32 hex digits
# of the key's SHA-256, each written as a letter from a to p.
run(python3 -c "import base64, hashlib, json, sys
key = json.load(open(sys.argv[1]))['key']
digest = hashlib.sha256(base64.b64decode(key)).hexdigest()[:32]
print(''.join(chr(ord('a') + int(c, 16)) for c in digest))"
    ${ROOT}/usr/share/quelvar/extension/manifest.json)
expect("the manifests admit ${id}, the packaged extension is ${out}" id STREQUAL out)
file(STRINGS ${ROOT}/DEBIAN/conffiles conffiles)
foreach(manifest ${manifests})
  file(READ ${ROOT}/${manifest} text)
  get_filename_component(host ${manifest} NAME_WLE)
  string(JSON name GET "${text}" name)
  string(JSON origins GET "${text}" allowed_origins)
  string(JSON path GET "${text}" path)
  expect("${manifest}: not a conffile, or it names ${name}, allows ${origins}, runs ${path}"
         /${manifest} IN_LIST conffiles AND name STREQUAL host
         AND origins MATCHES "^\\[[ \n]*\"chrome-extension://${id}/\"[ \n]*\\]$"
         AND path MATCHES "^/usr/libexec/quelvar/Quelvar(Host|Speech)$")
  expect_executable(${ROOT}${path})
endforeach()
file(REMOVE_RECURSE ${ROOT})
