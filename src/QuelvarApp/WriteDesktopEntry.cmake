# Run by `cmake --install`: writes the desktop entry for the prefix being installed to.
# Inputs: QUELVAR_ENTRY_NAME, QUELVAR_ENTRY_ICON, QUELVAR_ENTRY_FILE and CMake's CMAKE_INSTALL_PREFIX.

# Exec takes a quoted argument in which ", `, $ and \ are escaped; the file format then doubles \.
set(program "${CMAKE_INSTALL_PREFIX}/bin/QuelvarApp")
string(REPLACE "\\" "\\\\" program "${program}")
foreach(special "\"" "`" "$")
  string(REPLACE "${special}" "\\${special}" program "${program}")
endforeach()
string(REPLACE "\\" "\\\\" program "${program}")
string(REPLACE "\n" " " name "${QUELVAR_ENTRY_NAME}")

file(WRITE "${QUELVAR_ENTRY_FILE}" "[Desktop Entry]
Type=Application
Name=${name}
Comment=Connect the Chrome extension for private on-device subtitles
Exec=\"${program}\"
Icon=${QUELVAR_ENTRY_ICON}
Terminal=false
Categories=Utility;
StartupNotify=true
StartupWMClass=Quelvar
")
