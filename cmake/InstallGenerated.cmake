# Runs inside `cmake --install`, after the other rules (see Install.cmake).

# The install script runs under no policy settings of the project's own.
cmake_policy(VERSION 3.25)
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

# What the rules installed, relative to the prefix, for `make uninstall`; the list itself
# after the files, then the folders.
set(list_file "${GLIMDECK_INSTALLED_RESOURCES}/installed-files")
# The manifest names files by their final paths, without DESTDIR.
set(root "${CMAKE_INSTALL_PREFIX}/")
string(REGEX REPLACE "/+" "/" root "${root}")
string(LENGTH "${root}" root_length)
set(listed "")
set(used)
foreach(file ${CMAKE_INSTALL_MANIFEST_FILES} "${root}${list_file}")
  string(REGEX REPLACE "/+" "/" file "${file}")
  string(FIND "${file}" "${root}" at)
  if(NOT at EQUAL 0)
    message(FATAL_ERROR "Installed outside the prefix: ${file}")
  endif()
  string(SUBSTRING "${file}" ${root_length} -1 relative)
  string(APPEND listed "${relative}\n")
  get_filename_component(folder "${relative}" DIRECTORY)
  while(folder)
    list(APPEND used "${folder}")
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()
# Then the folders the install made (noted by InstallFolders.cmake before it began), each
# with a trailing slash. Every folder it installed into must have been looked at then.
list(REMOVE_DUPLICATES used)
list(SORT used)
foreach(folder ${used})
  if(NOT folder IN_LIST GLIMDECK_FOLDERS_KNOWN)
    message(FATAL_ERROR "Installed into ${folder}, which is not among the install's folders "
      "(GLIMDECK_INSTALL_FOLDERS in cmake/Install.cmake)")
  endif()
  if(folder IN_LIST GLIMDECK_FOLDERS_MADE)
    string(APPEND listed "${folder}/\n")
  endif()
endforeach()
file(WRITE "${GLIMDECK_WORK_DIR}/installed-files" "${listed}")
file(INSTALL "${GLIMDECK_WORK_DIR}/installed-files"
  DESTINATION "${CMAKE_INSTALL_PREFIX}/${GLIMDECK_INSTALLED_RESOURCES}")
