# The renderer: our Direct3D 9 shaped layer (its memory side linked into the program's code), the shader compiler
# library the game loads by name from the program folder, the GL pixel tests and the benchmark.

# The memory side is shared; the two devices go with their platform back ends (CMakeLists.txt).
target_sources(ascenda_core PRIVATE ${CMAKE_SOURCE_DIR}/platform/d3d9/d3d9_mem.cpp)

# The shader compiler library, named as the game loads it, built into the program folder. It is
# optional at run time: without it the game takes shaders from the cache only.
find_package(SPIRV-Tools-opt CONFIG QUIET)
find_package(glslang CONFIG QUIET)
find_package(spirv_cross_c_shared CONFIG QUIET)
if(glslang_FOUND AND spirv_cross_c_shared_FOUND AND NOT ASCENDA_FUZZ)
  add_library(d3dcompiler SHARED ${CMAKE_SOURCE_DIR}/platform/d3dcompiler/d3dcompiler.cpp)
  target_include_directories(d3dcompiler PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_definitions(d3dcompiler PRIVATE ENABLE_HLSL)
  target_compile_options(d3dcompiler PRIVATE -fvisibility=hidden)
  if(ASCENDA_SANITIZE)
    # glslang is built without type information, which the dynamic-type check would need.
    target_compile_options(d3dcompiler PRIVATE -fno-sanitize=vptr)
  endif()
  target_link_libraries(d3dcompiler PRIVATE glslang::glslang glslang::SPIRV glslang::HLSL
    glslang::glslang-default-resource-limits spirv-cross-c-shared Threads::Threads)
  target_link_options(d3dcompiler PRIVATE -Wl,--exclude-libs,ALL)
  set_target_properties(d3dcompiler PROPERTIES OUTPUT_NAME "d3dcompiler_43" PREFIX "" SUFFIX ".dll"
    LIBRARY_OUTPUT_DIRECTORY ${ASCENDA_BIN_DIR})
  add_dependencies(game d3dcompiler)
endif()

if(ASCENDA_TESTS)
  # Pixel tests on the GL back end, under SDL's offscreen video driver.
  file(GLOB RENDER_GL_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/gl/*.cpp)
  add_executable(render_gl_tests ${RENDER_GL_TEST_SOURCES})
  target_include_directories(render_gl_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/gl)
  ascenda_link_program(render_gl_tests platform_sdl ascenda_test_main)
  target_compile_definitions(render_gl_tests PRIVATE RENDER_TEST_DATA_DIR="${CMAKE_SOURCE_DIR}/tests/data/render"
    RENDER_BIN_DIR="${ASCENDA_BIN_DIR}")
  if(TARGET d3dcompiler)
    add_dependencies(render_gl_tests d3dcompiler)
  endif()
endif()

# The renderer benchmark (figures, not a test): our layer against plain OpenGL.
if(NOT ASCENDA_FUZZ)
  add_executable(render_bench ${CMAKE_SOURCE_DIR}/tools/render_bench/render_bench.cpp)
  ascenda_link_program(render_bench platform_sdl)
endif()
