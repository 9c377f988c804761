# `make install` (cmake --install with a prefix, DESTDIR honoured): the program, the resources
# it reads (in the data folder the program finds beside its bin folder), a launcher, the icons
# in the hicolor theme and the AppStream metadata. Every file installed is listed in
# share/glimdeck/installed-files, which `make uninstall` reads, so uninstalling needs no build.

include(GNUInstallDirs)

set(GLIMDECK_APP_ID com.glimdeck.Glimdeck)
set(GLIMDECK_INSTALLED_RESOURCES ${CMAKE_INSTALL_DATADIR}/glimdeck)
set(GLIMDECK_ICONS ${CMAKE_INSTALL_DATADIR}/icons/hicolor)

# The program finds its resources from its own location, so an installed tree can move.
file(RELATIVE_PATH GLIMDECK_RESOURCES_FROM_PROGRAM
  /prefix/${CMAKE_INSTALL_BINDIR} /prefix/${GLIMDECK_INSTALLED_RESOURCES})
target_compile_definitions(glimdeck_platform_foundation PRIVATE
  GLIMDECK_RESOURCES_DIR="${CMAKE_SOURCE_DIR}/resources"
  GLIMDECK_INSTALLED_RESOURCES_DIR="${GLIMDECK_RESOURCES_FROM_PROGRAM}"
  # The resources the build makes (the licence list, at each link of the program).
  GLIMDECK_MADE_RESOURCES_DIR="${CMAKE_BINARY_DIR}/resources")

if(NOT TARGET glimdeck)
  return()
endif()

set(GLIMDECK_ICON_SIZES 48 64 128 256)

# The folders the rules below install into. Before anything is installed, the install notes
# which of them (and of their parents under the prefix) are not there yet: those it makes,
# which `make uninstall` takes away again once they are empty. Folders that were there
# before, empty or not, stay.
set(GLIMDECK_INSTALL_FOLDERS ${CMAKE_INSTALL_BINDIR} ${GLIMDECK_INSTALLED_RESOURCES}/images
  ${CMAKE_INSTALL_DATADIR}/applications ${CMAKE_INSTALL_DATADIR}/metainfo
  ${GLIMDECK_ICONS}/scalable/apps ${GLIMDECK_ICONS}/36x36/status)
foreach(size ${GLIMDECK_ICON_SIZES})
  list(APPEND GLIMDECK_INSTALL_FOLDERS ${GLIMDECK_ICONS}/${size}x${size}/apps)
endforeach()
file(GLOB_RECURSE image_entries LIST_DIRECTORIES true RELATIVE ${CMAKE_SOURCE_DIR}/resources
  ${CMAKE_SOURCE_DIR}/resources/images/*)
foreach(entry ${image_entries})
  if(IS_DIRECTORY ${CMAKE_SOURCE_DIR}/resources/${entry})
    list(APPEND GLIMDECK_INSTALL_FOLDERS ${GLIMDECK_INSTALLED_RESOURCES}/${entry})
  endif()
endforeach()
install(CODE "
  set(GLIMDECK_INSTALL_FOLDERS \"${GLIMDECK_INSTALL_FOLDERS}\")
  set(GLIMDECK_INSTALLED_RESOURCES \"${GLIMDECK_INSTALLED_RESOURCES}\")
")
install(SCRIPT cmake/InstallFolders.cmake)

install(TARGETS glimdeck RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES resources/Info.plist ${CMAKE_BINARY_DIR}/resources/Licenses.plist DESTINATION ${GLIMDECK_INSTALLED_RESOURCES})
install(DIRECTORY resources/images DESTINATION ${GLIMDECK_INSTALLED_RESOURCES})

install(FILES resources/linux/${GLIMDECK_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
foreach(size ${GLIMDECK_ICON_SIZES})
  install(FILES resources/icons/${GLIMDECK_APP_ID}-${size}.png
    DESTINATION ${GLIMDECK_ICONS}/${size}x${size}/apps RENAME ${GLIMDECK_APP_ID}.png)
endforeach()
install(FILES resources/icons/${GLIMDECK_APP_ID}.svg DESTINATION ${GLIMDECK_ICONS}/scalable/apps)
# The tray's pictures (18 points, drawn at twice that) for desktops that show themed icons.
foreach(state Light Dark Active)
  string(TOLOWER ${state} name)
  install(FILES resources/images/StatusIcon-${state}@2x.png
    DESTINATION ${GLIMDECK_ICONS}/36x36/status RENAME ${GLIMDECK_APP_ID}-status-${name}.png)
endforeach()

# The launcher, which names the installed program, and the list of installed files are made
# at install time: only then is the prefix known (cmake --install --prefix overrides it).
install(CODE "
  set(GLIMDECK_APP_ID \"${GLIMDECK_APP_ID}\")
  set(GLIMDECK_BINDIR \"${CMAKE_INSTALL_BINDIR}\")
  set(GLIMDECK_DATADIR \"${CMAKE_INSTALL_DATADIR}\")
  set(GLIMDECK_SOURCE_DIR \"${CMAKE_SOURCE_DIR}\")
  set(GLIMDECK_WORK_DIR \"${CMAKE_BINARY_DIR}/install\")
")
install(SCRIPT cmake/InstallGenerated.cmake)

# The install into a temporary prefix, with DESTDIR, and the uninstall (tests/install). It runs
# `make install`, which looks at the build tree, so it takes the tree's lock.
if(TARGET glimdeck-standin)
  add_test(NAME install.prefix_validators_headless_start_uninstall
    COMMAND ${CMAKE_SOURCE_DIR}/tests/install/check-install.sh ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}
            $<TARGET_FILE:glimdeck-standin>)
  set_tests_properties(install.prefix_validators_headless_start_uninstall PROPERTIES
    TIMEOUT 300 RESOURCE_LOCK glimdeck_build_tree)
endif()
