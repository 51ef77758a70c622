# Installation on Linux and the Debian package built from it by `cpack -G DEB`.
set(VORNSCR_HACK_DIR ${CMAKE_INSTALL_LIBEXECDIR}/xscreensaver)
set(VORNSCR_SAMPLE_DIR ${CMAKE_INSTALL_DATADIR}/vornscr/sample)

# The program plays the installed sample show when its data directory holds no show. The path is
# fixed at build time, so a build tree finds one only where its own prefix has been installed.
set_property(SOURCE ${PROJECT_SOURCE_DIR}/src/install.cpp APPEND PROPERTY COMPILE_DEFINITIONS
  VORNSCR_SAMPLE_DIR="${CMAKE_INSTALL_FULL_DATADIR}/vornscr/sample")

# The screensaver host runs its programs from its own directory; users start it from the path.
install(TARGETS vornscr RUNTIME DESTINATION ${VORNSCR_HACK_DIR})
install(CODE "
  set(_bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}\")
  file(MAKE_DIRECTORY \"\${_bin}\")
  file(CREATE_LINK \"../${VORNSCR_HACK_DIR}/vornscr\" \"\${_bin}/vornscr\" SYMBOLIC)
  message(STATUS \"Installing: \${_bin}/vornscr -> ../${VORNSCR_HACK_DIR}/vornscr\")")

# The screensaver host's settings read the descriptions of its programs from here.
install(FILES data/vornscr.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/xscreensaver/config)

# Manual pages and the changelog go in compressed, as the Debian tools expect.
set(_gzipped)
file(GLOB _manpages CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/*.[1-8])
foreach(_page IN LISTS _manpages)
  get_filename_component(_name ${_page} NAME)
  string(REGEX REPLACE ".*\\.([1-8])$" "\\1" _section ${_name})
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${_name}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9nc ${_page} > ${CMAKE_BINARY_DIR}/man/${_name}.gz
    DEPENDS ${_page} VERBATIM)
  list(APPEND _gzipped ${CMAKE_BINARY_DIR}/man/${_name}.gz)
  install(FILES ${CMAKE_BINARY_DIR}/man/${_name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man${_section})
endforeach()

configure_file(data/changelog.in ${CMAKE_BINARY_DIR}/doc/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/doc/changelog.gz
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/doc/changelog
  COMMAND ${CMAKE_COMMAND} -E touch ${CMAKE_BINARY_DIR}/doc/changelog
  DEPENDS ${CMAKE_BINARY_DIR}/doc/changelog VERBATIM)
list(APPEND _gzipped ${CMAKE_BINARY_DIR}/doc/changelog.gz)
add_custom_target(vornscr_docs ALL DEPENDS ${_gzipped})

install(FILES docs/manual.md data/copyright ${CMAKE_BINARY_DIR}/doc/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The sample show, with its model caches built by playing it once, so that a run from the
# read-only installed copy converts nothing. It needs a display, so only the package and
# `cmake --install BUILD --component sample` make it.
set(VORNSCR_SAMPLE_BUILD ${CMAKE_BINARY_DIR}/packaged-sample)
add_custom_command(OUTPUT ${VORNSCR_SAMPLE_BUILD}.stamp
  COMMAND ${PROJECT_SOURCE_DIR}/cmake/build_sample.sh $<TARGET_FILE:vornscr-tool> $<TARGET_FILE:vornscr>
    ${VORNSCR_SAMPLE_BUILD}
  COMMAND ${CMAKE_COMMAND} -E touch ${VORNSCR_SAMPLE_BUILD}.stamp
  DEPENDS vornscr vornscr-tool ${PROJECT_SOURCE_DIR}/cmake/build_sample.sh VERBATIM)
add_custom_target(packaged_sample DEPENDS ${VORNSCR_SAMPLE_BUILD}.stamp)
install(CODE "
  execute_process(COMMAND \"${CMAKE_COMMAND}\" --build \"${CMAKE_BINARY_DIR}\" --target packaged_sample
    RESULT_VARIABLE _built)
  if(NOT _built EQUAL 0)
    message(FATAL_ERROR \"the sample show could not be built\")
  endif()" COMPONENT sample EXCLUDE_FROM_ALL)
install(DIRECTORY ${VORNSCR_SAMPLE_BUILD}/ DESTINATION ${VORNSCR_SAMPLE_DIR} COMPONENT sample EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
# One package of the programs and the sample show.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL Unspecified sample)
set(CPACK_PACKAGE_NAME vornscr)
set(CPACK_PACKAGE_CONTACT "vornscr team <vornscr@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "screensaver that plays a scripted real-time 3D show")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "vornscr plays a show described by a text script: models from resource\n"
  "archives and LightWave objects, textures decoded by its own codecs, cameras,\n"
  "lights, groups, timed chains and curved screens, on one full-screen OpenGL\n"
  "window per monitor. It runs by itself or inside xscreensaver. A sample show\n"
  "is included and plays until a show of one's own is installed. vornscr-tool\n"
  "converts and packs the files of a show.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "xscreensaver")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Configure with -DCMAKE_INSTALL_PREFIX=/usr for the package: the program looks there.
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
