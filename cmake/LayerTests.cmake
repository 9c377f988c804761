# Proof that the layer order holds: a file of the lowest layer that includes a header of a
# higher one fails to compile and fails the include check, while an include downwards
# builds. The probe libraries are outside the default build; the tests build them.

function(glimdeck_layer_probe name folder source)
  glimdeck_layer_target(${folder} layer)
  add_library(${name} OBJECT EXCLUDE_FROM_ALL ${source})
  target_include_directories(${name} PRIVATE ${GLIMDECK_LAYER_ROOTS}/${layer})
  target_link_libraries(${name} PRIVATE ${layer})
  set_target_properties(${name} PROPERTIES UNITY_BUILD OFF)
endfunction()

glimdeck_layer_probe(glimdeck_probe_upward platform/foundation ${CMAKE_SOURCE_DIR}/cmake/probes/UpwardInclude.cpp)
glimdeck_layer_probe(glimdeck_probe_downward platform/appkit ${CMAKE_SOURCE_DIR}/cmake/probes/DownwardInclude.cpp)

# Both builds run in this build tree, one at a time.
add_test(NAME layers.upward_include_does_not_compile
  COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target glimdeck_probe_upward)
set_tests_properties(layers.upward_include_does_not_compile PROPERTIES
  PASS_REGULAR_EXPRESSION "platform/appkit/NSView.h: No such file"
  RESOURCE_LOCK glimdeck_build_tree)
add_test(NAME layers.downward_include_compiles
  COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target glimdeck_probe_downward)
set_tests_properties(layers.downward_include_compiles PROPERTIES RESOURCE_LOCK glimdeck_build_tree)

add_test(NAME layers.upward_include_fails_the_check
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DTABLE=${GLIMDECK_LAYER_TABLE_FILE}
          -DFILES=${CMAKE_SOURCE_DIR}/cmake/probes/UpwardInclude.cpp -DAS_FOLDER=platform/foundation
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckLayerIncludes.cmake)
set_tests_properties(layers.upward_include_fails_the_check PROPERTIES
  PASS_REGULAR_EXPRESSION "includes \"platform/appkit/NSView.h\" of platform/appkit, but platform/foundation may use only platform/foundation")

# The README's layer order is the table, line for line.
add_test(NAME layers.readme_matches_the_table
  COMMAND ${CMAKE_COMMAND} -DREADME=${CMAKE_SOURCE_DIR}/README.md -DTABLE=${GLIMDECK_LAYER_TABLE_FILE}
          -P ${CMAKE_SOURCE_DIR}/cmake/CheckReadmeLayers.cmake)
