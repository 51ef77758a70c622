# GL tests of the transform, texture and shader effects, on the display of the GL tests.
add_executable(gl_effects_tests ${CMAKE_CURRENT_LIST_DIR}/test_gl_effects.cpp)
target_link_libraries(gl_effects_tests PRIVATE vornscr_testsupport GTest::gtest_main vornscr_warnings)

add_test(NAME gl_effects COMMAND ${VORNSCR_XVFB} run ${VORNSCR_XVFB_DIR} $<TARGET_FILE:gl_effects_tests>)
add_test(NAME e2e_effects_show
  COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/effects_show.sh ${VORNSCR_XVFB_DIR} $<TARGET_FILE:vornscr>)
set_tests_properties(gl_effects e2e_effects_show PROPERTIES
  FIXTURES_REQUIRED xvfb RESOURCE_LOCK xvfb_display LABELS gl TIMEOUT 300
  ENVIRONMENT "${VORNSCR_LSAN_ENV};MESA_SHADER_CACHE_DISABLE=true")
