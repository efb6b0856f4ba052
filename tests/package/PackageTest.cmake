# Builds the Debian package and checks what only the package carries: its dependencies, and host
# manifests under /etc (conffiles) that admit the packaged extension and run packaged helpers.
# Inputs: SOURCE_DIR, ROOT (a scratch folder).
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

run(${SOURCE_DIR}/scripts/package)
string(REGEX MATCH "[^\n]*\\.deb$" deb "${out}")
expect("scripts/package named no package:\n${out}" deb)
run(dpkg-deb --field ${deb} Depends)
foreach(needed libqt6widgets6 libpocketsphinx3 pocketsphinx-en-us apertium apertium-eng-spa)
  expect("Depends lacks ${needed}: ${out}" out MATCHES "(^|, )${needed}( |,|$)")
endforeach()

file(REMOVE_RECURSE ${ROOT})
run(dpkg-deb --extract ${deb} ${ROOT})
run(dpkg-deb --control ${deb} ${ROOT}/DEBIAN)
load_cache(${SOURCE_DIR}/build-package READ_WITH_PREFIX package_ QUELVAR_CHROME_EXTENSION_ID)
set(id "${package_QUELVAR_CHROME_EXTENSION_ID}")
file(GLOB_RECURSE manifests RELATIVE ${ROOT} ${ROOT}/etc/*.json)
list(LENGTH manifests count)
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
  string(JSON origins GET "${text}" allowed_origins)
  string(JSON path GET "${text}" path)
  expect("${manifest}: not a conffile, or it allows ${origins}, runs ${path}"
         /${manifest} IN_LIST conffiles AND EXISTS ${ROOT}${path}
         AND origins MATCHES "^\\[[ \n]*\"chrome-extension://${id}/\"[ \n]*\\]$")
endforeach()
file(REMOVE_RECURSE ${ROOT})
