# 2D drawing: the golden images of the drawing tests (in the GL test executable).
if(ASCENDA_TESTS AND TARGET render_gl_tests)
  target_compile_definitions(render_gl_tests PRIVATE GOLDEN_DIR="${CMAKE_SOURCE_DIR}/tests/data/golden")
endif()

# The 2D drawing benchmark on the real device (figures, not a test).
if(NOT ASCENDA_FUZZ)
  add_executable(draw_bench ${CMAKE_SOURCE_DIR}/tools/draw_bench/draw_bench.cpp)
  ascenda_link_program(draw_bench platform_sdl)
endif()
