# The renderer: our Direct3D 9 shaped layer (linked into the program's code), the shader compiler
# library the game loads by name from the program folder, the GL pixel tests and the benchmark.

target_sources(ascenda_core PRIVATE
  ${CMAKE_SOURCE_DIR}/platform/d3d9/d3d9_mem.cpp
  ${CMAKE_SOURCE_DIR}/platform/d3d9/d3d9_gl.cpp
  ${CMAKE_SOURCE_DIR}/platform/d3d9/d3d9_record.cpp
  ${CMAKE_SOURCE_DIR}/platform/d3d9/gl_loader.cpp)

if(ASCENDA_TESTS)
  find_package(GTest REQUIRED)
  # Pixel tests on the GL back end, under SDL's offscreen video driver.
  file(GLOB RENDER_GL_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/gl/*.cpp)
  add_executable(render_gl_tests ${RENDER_GL_TEST_SOURCES})
  target_include_directories(render_gl_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/gl)
  target_link_libraries(render_gl_tests PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,ascenda_core>" platform_sdl
    GTest::gtest GTest::gtest_main SDL2::SDL2 PNG::PNG ZLIB::ZLIB PkgConfig::STB Threads::Threads ${CMAKE_DL_LIBS})
  target_compile_definitions(render_gl_tests PRIVATE RENDER_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data/render")
  # One process for the whole suite: the device opens once.
  add_test(NAME render_gl_tests COMMAND render_gl_tests)
  set_tests_properties(render_gl_tests PROPERTIES
    ENVIRONMENT "SDL_VIDEODRIVER=offscreen;ASCENDA_NO_MESSAGE_BOX=1;ASCENDA_BIN_DIR=${ASCENDA_BIN_DIR}" TIMEOUT 300)
endif()
