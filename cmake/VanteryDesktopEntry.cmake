# Run by `cmake --install`: writes the desktop entry with the installed program's full
# path, since a prefix's bin/ is often not on the PATH the desktop session started with.
# The install rule sets VANTERY_ENTRY_TEMPLATE, VANTERY_ENTRY_STAGE (a build folder),
# VANTERY_ENTRY_BINDIR and VANTERY_ENTRY_DIR (both relative to the prefix).
set(exec "${CMAKE_INSTALL_PREFIX}/${VANTERY_ENTRY_BINDIR}/Vantery")
# Exec takes a quoted argument in which \ " ` and $ are escaped by a backslash, and the
# key's value escapes each backslash once more.
string(REPLACE "\\" "\\\\\\\\" exec "${exec}")
foreach(c "\"" "`" "$")
  string(REPLACE "${c}" "\\\\${c}" exec "${exec}")
endforeach()
set(VANTERY_EXEC "\"${exec}\"")
configure_file(${VANTERY_ENTRY_TEMPLATE} ${VANTERY_ENTRY_STAGE}/ro.kelvora.vantery.desktop @ONLY)
file(INSTALL ${VANTERY_ENTRY_STAGE}/ro.kelvora.vantery.desktop
     DESTINATION "${CMAKE_INSTALL_PREFIX}/${VANTERY_ENTRY_DIR}")
