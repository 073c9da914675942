# The GUI: the tests that drive the actor library's screens read the sprites and the font of the
# program folder.
if(ASCENDA_TESTS)
  target_compile_definitions(unit_tests PRIVATE GUI_TEST_PROGRAM_DIR="${ASCENDA_BIN_DIR}/")
endif()
