# The container tests' disk images and archives, made on the build machine
# by make-fixtures.sh into the build tree (the Windows build's tests read
# the same files under wine, which cannot run the tools that make them).
set(SONDERIK_CONTAINER_FIXTURES ${CMAKE_CURRENT_BINARY_DIR}/containers-fixtures)
set(container_fixture_files floppy-720.img floppy-1440.img fat16.img)
set(container_fixture_mode images)
if(SONDERIK_WITH_ARCHIVE)
  list(APPEND container_fixture_files voices.zip voices.7z voices.tar.gz bomb.zip names.zip)
  set(container_fixture_mode all)
endif()
list(TRANSFORM container_fixture_files PREPEND ${SONDERIK_CONTAINER_FIXTURES}/)
add_custom_command(OUTPUT ${container_fixture_files}
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/containers/make-fixtures.sh ${SONDERIK_CONTAINER_FIXTURES}
          ${PROJECT_SOURCE_DIR}/examples/demo.s1v ${container_fixture_mode}
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/containers/make-fixtures.sh ${PROJECT_SOURCE_DIR}/examples/demo.s1v
  COMMENT "Making the disk images and archives the container tests read"
  VERBATIM)
add_custom_target(container_fixtures DEPENDS ${container_fixture_files})
# Where they are, for the benchmarks.
set_target_properties(container_fixtures PROPERTIES SONDERIK_FIXTURES_DIR ${SONDERIK_CONTAINER_FIXTURES})
