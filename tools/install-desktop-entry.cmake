# Runs at install time (from the install rules), when the prefix is known: writes the
# desktop entry whose program and working directory are the installed program folder.
# In: APP_DIR (the program folder), ICON (the icon's path), TEMPLATE, DEST (a folder),
# WORK_DIR (where the entry is made before it is installed).

string(FIND "${APP_DIR}" "\n" newline)
if(NOT newline EQUAL -1)
  message(FATAL_ERROR "A desktop entry cannot hold a path with a line break: ${APP_DIR}")
endif()

# A value's own escapes first: a backslash is written twice.
function(desktop_string out value)
  string(REPLACE "\\" "\\\\" value "${value}")
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

# Exec quotes its program; inside the quotes \ " ` $ take a backslash, % is doubled,
# and then the line gets the escapes of any value.
function(desktop_exec out program)
  string(REGEX REPLACE "([\\\\\"`$])" "\\\\\\1" program "${program}")
  string(REPLACE "%" "%%" program "${program}")
  desktop_string(program "\"${program}\"")
  set(${out} "${program}" PARENT_SCOPE)
endfunction()

desktop_exec(DESKTOP_EXEC "${APP_DIR}/VelmoraPro")
desktop_string(DESKTOP_PATH "${APP_DIR}")
desktop_string(DESKTOP_ICON "${ICON}")
set(entry "${WORK_DIR}/velmora.desktop")
configure_file("${TEMPLATE}" "${entry}" @ONLY)
file(INSTALL "${entry}" DESTINATION "${DEST}")
