# GL tests of the transform, texture and shader effects: one gtest program run on a virtual
# display that a fixture starts and stops.
add_executable(gl_effects_tests ${CMAKE_CURRENT_LIST_DIR}/test_gl_effects.cpp)
target_link_libraries(gl_effects_tests PRIVATE vornscr_testsupport GTest::gtest_main vornscr_warnings)

set(GL_EFFECTS_DISPLAY_DIR ${CMAKE_CURRENT_BINARY_DIR}/gl-effects-display)
set(GL_EFFECTS_XVFB ${PROJECT_SOURCE_DIR}/tests/e2e/xvfb.sh)
add_test(NAME gl_effects_display_start COMMAND ${GL_EFFECTS_XVFB} start ${GL_EFFECTS_DISPLAY_DIR})
add_test(NAME gl_effects_display_stop COMMAND ${GL_EFFECTS_XVFB} stop ${GL_EFFECTS_DISPLAY_DIR})
set_tests_properties(gl_effects_display_start PROPERTIES FIXTURES_SETUP gl_effects_display)
set_tests_properties(gl_effects_display_stop PROPERTIES FIXTURES_CLEANUP gl_effects_display)

add_test(NAME gl_effects COMMAND ${GL_EFFECTS_XVFB} run ${GL_EFFECTS_DISPLAY_DIR} $<TARGET_FILE:gl_effects_tests>)
add_test(NAME e2e_effects_show
  COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/effects_show.sh ${GL_EFFECTS_DISPLAY_DIR} $<TARGET_FILE:vornscr>)
set_tests_properties(gl_effects e2e_effects_show PROPERTIES
  FIXTURES_REQUIRED gl_effects_display RESOURCE_LOCK gl_effects_display LABELS gl)
