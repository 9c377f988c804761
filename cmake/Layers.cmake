# Builds the layer table of the top CMakeLists.txt: one library per folder, linked only to
# the folders its line names, compiled against an include root that holds only its own
# headers and those of the folders below it. An include or a call against the order fails
# to build; a folder with sources that no line names fails the configure step.

set(GLIMDECK_LAYER_ROOTS ${CMAKE_BINARY_DIR}/layer-roots)
# Folders that use the layers rather than being one: they see every header.
set(GLIMDECK_LAYER_CONSUMERS tests bench fuzz tools cmake scripts resources Testing)

function(glimdeck_layer_target folder out)
  string(REPLACE "/" "_" name "glimdeck_${folder}")
  set(${out} ${name} PARENT_SCOPE)
endfunction()

# A line is "folder" or "folder: below below ...".
function(glimdeck_parse_layer line folder_out deps_out)
  string(REPLACE ":" ";" parts "${line}")
  list(GET parts 0 folder)
  string(STRIP "${folder}" folder)
  set(deps)
  list(LENGTH parts n)
  if(n GREATER 1)
    list(GET parts 1 rest)
    string(STRIP "${rest}" rest)
    if(rest)
      string(REGEX REPLACE "[ \t]+" ";" deps "${rest}")
    endif()
  endif()
  set(${folder_out} ${folder} PARENT_SCOPE)
  set(${deps_out} ${deps} PARENT_SCOPE)
endfunction()

# A build tree: the one being configured (its cache is written only at the end of the first
# configure) or any folder holding a CMakeCache.txt.
function(glimdeck_is_build_tree dir out)
  if(EXISTS ${dir}/CMakeCache.txt OR dir STREQUAL CMAKE_BINARY_DIR)
    set(${out} TRUE PARENT_SCOPE)
  else()
    set(${out} FALSE PARENT_SCOPE)
  endif()
endfunction()

# The sources and headers under a folder of the tree (relative to the source root), leaving
# out the build trees that lie inside it. The searches are made again before each build, so
# a build tree must stay out of them: what it makes while building (unity sources, compiler
# probes) would change their result, and the next build would configure once more.
function(glimdeck_sources_below dir out)
  glimdeck_is_build_tree(${dir} built)
  if(built)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  file(GLOB_RECURSE inner_caches ${dir}/CMakeCache.txt)
  string(FIND "${CMAKE_BINARY_DIR}/" "${dir}/" binary_at)
  if(NOT inner_caches AND NOT binary_at EQUAL 0)
    file(GLOB_RECURSE found RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS
      ${dir}/*.cpp ${dir}/*.c ${dir}/*.h)
    set(${out} ${found} PARENT_SCOPE)
    return()
  endif()
  # A build tree lies somewhere inside: this folder's own files, then each folder in turn.
  file(GLOB found RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS ${dir}/*.cpp ${dir}/*.c ${dir}/*.h)
  file(GLOB entries LIST_DIRECTORIES true ${dir}/*)
  foreach(entry ${entries})
    if(IS_DIRECTORY ${entry} AND NOT IS_SYMLINK ${entry})
      glimdeck_sources_below(${entry} inner)
      list(APPEND found ${inner})
    endif()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Every directory below the source root that holds sources or headers must lie in a layer.
function(glimdeck_check_unlisted_folders folders)
  # The root's own files, and those one folder down: a new top-level folder with sources is
  # noticed at the next build. Build trees hold none at their top.
  file(GLOB all_sources RELATIVE ${CMAKE_SOURCE_DIR} CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/*.cpp ${CMAKE_SOURCE_DIR}/*.c ${CMAKE_SOURCE_DIR}/*.h
    ${CMAKE_SOURCE_DIR}/*/*.cpp ${CMAKE_SOURCE_DIR}/*/*.c ${CMAKE_SOURCE_DIR}/*/*.h)
  file(GLOB tops RELATIVE ${CMAKE_SOURCE_DIR} LIST_DIRECTORIES true ${CMAKE_SOURCE_DIR}/*)
  foreach(top ${tops})
    if(NOT IS_DIRECTORY ${CMAKE_SOURCE_DIR}/${top} OR IS_SYMLINK ${CMAKE_SOURCE_DIR}/${top}
       OR top IN_LIST GLIMDECK_LAYER_CONSUMERS OR top MATCHES "^build" OR top MATCHES "^\\.")
      continue()
    endif()
    glimdeck_sources_below(${CMAKE_SOURCE_DIR}/${top} found)
    list(APPEND all_sources ${found})
  endforeach()
  list(REMOVE_DUPLICATES all_sources)
  set(unlisted)
  foreach(file ${all_sources})
    string(REGEX MATCH "^[^/]+" top "${file}")
    if(top IN_LIST GLIMDECK_LAYER_CONSUMERS OR top MATCHES "^build" OR top MATCHES "^\\.")
      continue()
    endif()
    glimdeck_is_build_tree(${CMAKE_SOURCE_DIR}/${top} built)
    if(built)
      continue()
    endif()
    set(found FALSE)
    foreach(folder ${folders})
      if(file MATCHES "^${folder}/")
        set(found TRUE)
        break()
      endif()
    endforeach()
    if(NOT found)
      get_filename_component(dir "${file}" DIRECTORY)
      list(APPEND unlisted "${dir}")
    endif()
  endforeach()
  if(unlisted)
    list(REMOVE_DUPLICATES unlisted)
    list(JOIN unlisted ", " names)
    message(FATAL_ERROR "Folders with sources that are no layer: ${names}.\n"
      "Add a line for each to the layer table in CMakeLists.txt (the folder, a colon and "
      "the folders its code uses) and the same line to the README's layer order.")
  endif()
endfunction()

# glimdeck_layers(<line>...): the table, lowest layer first.
function(glimdeck_layers)
  # Every layer's folder first: a layer may lie inside another one's folder, and each file
  # belongs to the innermost layer that holds it.
  set(all_folders)
  foreach(line ${ARGN})
    glimdeck_parse_layer("${line}" folder deps)
    list(APPEND all_folders ${folder})
  endforeach()
  set(folders)
  set(table)
  foreach(line ${ARGN})
    glimdeck_parse_layer("${line}" folder deps)
    foreach(dep ${deps})
      if(NOT dep IN_LIST folders)
        message(FATAL_ERROR "Layer ${folder} uses ${dep}, which is not a layer listed above it.")
      endif()
    endforeach()
    list(APPEND folders ${folder})
    string(REPLACE "/" "_" key "${folder}")
    set(below_${key})
    foreach(dep ${deps})
      string(REPLACE "/" "_" dkey "${dep}")
      list(APPEND below_${key} ${dep} ${below_${dkey}})
    endforeach()
    list(REMOVE_DUPLICATES below_${key})
    list(JOIN deps "," deps_text)
    list(APPEND table "${folder}:${deps_text}")

    # The include root: links to the folder itself and to every folder below it.
    glimdeck_layer_target(${folder} target)
    set(root ${GLIMDECK_LAYER_ROOTS}/${target})
    file(REMOVE_RECURSE ${root})
    set(visible_folders ${folder} ${below_${key}})
    foreach(visible ${visible_folders})
      # A folder inside another visible one is already seen through its parent's link.
      set(inside_visible FALSE)
      foreach(other ${visible_folders})
        if(visible MATCHES "^${other}/")
          set(inside_visible TRUE)
        endif()
      endforeach()
      if(inside_visible)
        continue()
      endif()
      if(EXISTS ${CMAKE_SOURCE_DIR}/${visible})
        get_filename_component(parent ${root}/${visible} DIRECTORY)
        file(MAKE_DIRECTORY ${parent})
        file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${visible} ${root}/${visible} SYMBOLIC)
      endif()
    endforeach()
    file(MAKE_DIRECTORY ${root})

    file(GLOB_RECURSE sources CONFIGURE_DEPENDS
      ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.c)
    # Program entry points belong to the executables, not to the libraries.
    list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
    foreach(inner ${all_folders})
      if(inner MATCHES "^${folder}/")
        list(FILTER sources EXCLUDE REGEX "^${CMAKE_SOURCE_DIR}/${inner}/")
      endif()
    endforeach()
    set(dep_targets)
    foreach(dep ${deps})
      glimdeck_layer_target(${dep} dep_target)
      list(APPEND dep_targets ${dep_target})
    endforeach()
    if(sources)
      add_library(${target} STATIC ${sources})
      target_include_directories(${target} PRIVATE ${root})
      target_link_libraries(${target} PUBLIC ${dep_targets})
      add_dependencies(${target} glimdeck_layer_check)
    else()
      add_library(${target} INTERFACE)
      target_link_libraries(${target} INTERFACE ${dep_targets})
    endif()
    set_property(GLOBAL APPEND PROPERTY GLIMDECK_LAYER_FOLDERS ${folder})
  endforeach()
  glimdeck_check_unlisted_folders("${folders}")

  # Headers nobody of their own folder compiles still cross the order when another layer
  # includes them: every include line is checked against the table, file by file.
  set(checked)
  foreach(folder ${folders})
    file(GLOB_RECURSE files CONFIGURE_DEPENDS
      ${CMAKE_SOURCE_DIR}/${folder}/*.cpp ${CMAKE_SOURCE_DIR}/${folder}/*.c ${CMAKE_SOURCE_DIR}/${folder}/*.h)
    list(APPEND checked ${files})
  endforeach()
  set(table_file ${CMAKE_BINARY_DIR}/layer-table.txt)
  list(JOIN table "\n" table_text)
  # Rewritten only when it changes, so that a reconfigure alone does not rerun the check.
  file(WRITE ${table_file}.new "${table_text}\n")
  configure_file(${table_file}.new ${table_file} COPYONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/layer-check.stamp
    COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DTABLE=${table_file}
            -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
    COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/layer-check.stamp
    DEPENDS ${checked} ${table_file} ${CMAKE_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake
    COMMENT "Checking includes against the layer order"
    VERBATIM)
  add_custom_target(glimdeck_layer_check DEPENDS ${CMAKE_BINARY_DIR}/layer-check.stamp)
  set(GLIMDECK_LAYER_TABLE_FILE ${table_file} PARENT_SCOPE)
endfunction()

# glimdeck_layer_packages(<folder> <imported target>...): libraries a layer's code uses.
function(glimdeck_layer_packages folder)
  glimdeck_layer_target(${folder} target)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_link_libraries(${target} INTERFACE ${ARGN})
  else()
    target_link_libraries(${target} PUBLIC ${ARGN})
  endif()
endfunction()
