# The game scene: the GL tests of the level on screen and the scene's frame need the whole program
# folder (actor library, tiles, art, sound script); the scene benchmark prints the frame's cost by
# pass on the real device.

if(ASCENDA_TESTS AND TARGET render_gl_tests)
  add_dependencies(render_gl_tests entling level_tiles art_data sound_data)
  # The actor library resolves its imports against the test program, as against the game.
  set_target_properties(render_gl_tests PROPERTIES ENABLE_EXPORTS ON)
  if(ASCENDA_SANITIZE)
    # The boss pictures read the library's objects through views of their layout.
    target_compile_options(render_gl_tests PRIVATE -fno-sanitize=vptr)
  endif()
endif()

# The scene benchmark on the real device (figures, not a test).
if(NOT ASCENDA_FUZZ)
  add_executable(scene_bench ${CMAKE_SOURCE_DIR}/tools/scene_bench/scene_bench.cpp)
  ascenda_link_program(scene_bench platform_sdl)
  set_target_properties(scene_bench PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(scene_bench entling level_tiles art_data sound_data)
  if(ASCENDA_SANITIZE)
    # It reads the boss's objects through views of their layout, as the world's tests do.
    target_compile_options(scene_bench PRIVATE -fno-sanitize=vptr)
  endif()
endif()
