# Runs inside `cmake --install` before anything is installed (see Install.cmake): which of
# the folders the install uses, and of their parents under the prefix, are not there yet.
# InstallGenerated.cmake lists them in share/glimdeck/installed-files, each with a trailing
# slash, for `make uninstall`. Sets GLIMDECK_FOLDERS_MADE (relative to the prefix) and
# GLIMDECK_FOLDERS_KNOWN (every folder looked at).

# The install script runs under no policy settings of the project's own.
cmake_policy(VERSION 3.25)
set(root "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
set(GLIMDECK_FOLDERS_MADE)
set(GLIMDECK_FOLDERS_KNOWN)
foreach(folder ${GLIMDECK_INSTALL_FOLDERS})
  # A folder given as a full path counts only when it lies under the prefix.
  if(IS_ABSOLUTE "${folder}")
    file(RELATIVE_PATH folder "${CMAKE_INSTALL_PREFIX}" "${folder}")
    if(folder MATCHES "^\\.\\.(/|$)")
      continue()
    endif()
  endif()
  while(folder AND NOT folder STREQUAL ".")
    if(NOT folder IN_LIST GLIMDECK_FOLDERS_KNOWN)
      list(APPEND GLIMDECK_FOLDERS_KNOWN "${folder}")
      if(NOT IS_DIRECTORY "${root}/${folder}")
        list(APPEND GLIMDECK_FOLDERS_MADE "${folder}")
      endif()
    endif()
    get_filename_component(folder "${folder}" DIRECTORY)
  endwhile()
endforeach()

# Installed again over an earlier install: the folders that one made are still ours.
set(earlier "${root}/${GLIMDECK_INSTALLED_RESOURCES}/installed-files")
if(EXISTS "${earlier}")
  file(STRINGS "${earlier}" lines)
  foreach(line ${lines})
    if(line MATCHES "^(.+)/$" AND CMAKE_MATCH_1 IN_LIST GLIMDECK_FOLDERS_KNOWN)
      list(APPEND GLIMDECK_FOLDERS_MADE "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(REMOVE_DUPLICATES GLIMDECK_FOLDERS_MADE)
endif()
