# The effects show played by the program, on the display of the GL tests.
add_test(NAME e2e_effects_show
  COMMAND ${PROJECT_SOURCE_DIR}/tests/e2e/effects_show.sh ${VORNSCR_XVFB_DIR} $<TARGET_FILE:vornscr>)
set_tests_properties(e2e_effects_show PROPERTIES
  FIXTURES_REQUIRED xvfb RESOURCE_LOCK xvfb_display LABELS gl TIMEOUT 300
  ENVIRONMENT "${VORNSCR_LSAN_ENV};MESA_SHADER_CACHE_DISABLE=true")
