# Included at configure time: writes the desktop entry for the configured installation prefix.
# Inputs: QUELVAR_ENTRY_NAME, QUELVAR_ENTRY_ICON, QUELVAR_ENTRY_FILE and CMAKE_INSTALL_FULL_BINDIR.

# Exec takes a quoted argument in which ", `, $ and \ are escaped; the file format then doubles \.
set(program "${CMAKE_INSTALL_FULL_BINDIR}/QuelvarApp")
string(REPLACE "\\" "\\\\" program "${program}")
foreach(special "\"" "`" "$")
  string(REPLACE "${special}" "\\${special}" program "${program}")
endforeach()
string(REPLACE "\\" "\\\\" program "${program}")
string(REPLACE "\n" " " name "${QUELVAR_ENTRY_NAME}")

# Copied into place only when its text changes, so a reconfigure does not make the entry look new.
file(WRITE "${QUELVAR_ENTRY_FILE}.new" "[Desktop Entry]
Type=Application
Name=${name}
Comment=Connect the Chrome extension for private on-device subtitles
Exec=\"${program}\"
Icon=${QUELVAR_ENTRY_ICON}
Terminal=false
Categories=Utility;
Keywords=subtitles;captions;translation;speech recognition;
StartupNotify=true
StartupWMClass=Quelvar
")
configure_file("${QUELVAR_ENTRY_FILE}.new" "${QUELVAR_ENTRY_FILE}" COPYONLY)
