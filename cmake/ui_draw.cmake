# 2D drawing: the golden images of the drawing tests (in the GL test executable).
if(ASCENDA_TESTS AND TARGET render_gl_tests)
  target_compile_definitions(render_gl_tests PRIVATE GOLDEN_DIR="${CMAKE_SOURCE_DIR}/tests/data/golden")
endif()
