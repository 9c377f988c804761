# Runs inside `cmake --install`, after the other rules (see Install.cmake).

set(bindir "${GLIMDECK_BINDIR}")
if(NOT IS_ABSOLUTE "${bindir}")
  set(bindir "${CMAKE_INSTALL_PREFIX}/${bindir}")
endif()
# The Exec value: the path quoted as one argument (", `, $ and \ escaped), then escaped as a
# string value (\ doubled), with % doubled so that it is no field code.
set(quoted "${bindir}/glimdeck")
string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" quoted "${quoted}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
string(REPLACE "%" "%%" quoted "${quoted}")
set(GLIMDECK_EXEC "\"${quoted}\"")
configure_file("${GLIMDECK_SOURCE_DIR}/resources/linux/${GLIMDECK_APP_ID}.desktop.in"
  "${GLIMDECK_WORK_DIR}/${GLIMDECK_APP_ID}.desktop" @ONLY)
file(INSTALL "${GLIMDECK_WORK_DIR}/${GLIMDECK_APP_ID}.desktop"
  DESTINATION "${CMAKE_INSTALL_PREFIX}/${GLIMDECK_DATADIR}/applications")

# What the rules installed, relative to the prefix, for `make uninstall`; the list itself last.
set(list_file "${GLIMDECK_INSTALLED_RESOURCES}/installed-files")
# The manifest names files by their final paths, without DESTDIR.
set(root "${CMAKE_INSTALL_PREFIX}/")
string(REGEX REPLACE "/+" "/" root "${root}")
string(LENGTH "${root}" root_length)
set(listed "")
foreach(file ${CMAKE_INSTALL_MANIFEST_FILES})
  string(REGEX REPLACE "/+" "/" file "${file}")
  string(FIND "${file}" "${root}" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "Installed outside the prefix: ${file}")
  endif()
  string(SUBSTRING "${file}" ${root_length} -1 relative)
  string(APPEND listed "${relative}\n")
endforeach()
string(APPEND listed "${list_file}\n")
file(WRITE "${GLIMDECK_WORK_DIR}/installed-files" "${listed}")
file(INSTALL "${GLIMDECK_WORK_DIR}/installed-files"
  DESTINATION "${CMAKE_INSTALL_PREFIX}/${GLIMDECK_INSTALLED_RESOURCES}")
