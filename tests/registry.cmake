# Every test of the build but the unit tests is registered from here (those are found in the unit
# test program by gtest_discover_tests, which CMake wants beside its target in tests/CMakeLists.txt):
# here, and in the files of tests/ included below. Included at the end of the top-level
# CMakeLists.txt, after the modules have made the targets and the lists the tests run; each test is
# named <area>.<what it checks>.

# The world driver and its scenarios, beside the driver in tests/drive.
include(${CMAKE_SOURCE_DIR}/tests/drive/drive.cmake)

# Tests that run the real program, each a script given the game's path.
file(GLOB INTEGRATION_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/integration/*.sh)
if(NOT ASCENDA_SANITIZE)
  foreach(t ${INTEGRATION_TESTS})
    get_filename_component(name ${t} NAME_WE)
    add_test(NAME integration.${name} COMMAND bash ${t} $<TARGET_FILE:game> $<TARGET_FILE:input_probe>
      $<TARGET_FILE:x11_close>)
    set_tests_properties(integration.${name} PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT 300)
  endforeach()
  # The end-to-end run keeps its screenshots in the build tree, where CI keeps them. It takes some
  # two minutes on an idle machine but over five on a busy one (six screenshots compared in Python).
  set_property(TEST integration.gui_e2e APPEND PROPERTY ENVIRONMENT "ASCENDA_E2E_SHOTS=${CMAKE_BINARY_DIR}/e2e_shots")
  set_tests_properties(integration.gui_e2e PROPERTIES TIMEOUT 900)
  # The runs that send real X input time key repeats, double clicks and held keys: they run alone,
  # so a loaded machine cannot stretch those moments.
  set_tests_properties(integration.x11_window integration.gui_e2e integration.gui_random_input PROPERTIES RUN_SERIAL ON)
  # Eight rebuilds of the real library, one of them from clean, and two restarts.
  set_tests_properties(integration.entling_reload PROPERTIES TIMEOUT 1500)
endif()

# The engine is built without the game's headers: what it calls of the game is declared in
# engine/gameHost.h alone.
add_test(NAME structure.engine_includes_no_game_header
  COMMAND bash -c "! grep -rn '#include \"game/' '${CMAKE_SOURCE_DIR}/engine'")
# The engine's floors: the log, containers, maths and streams include nothing above them, and the
# renderer and the settings reach no header of the shell.
add_test(NAME structure.engine_ground_floor_stays_below
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/structure/engine_floors.sh ${CMAKE_SOURCE_DIR})
# SDL is the platform back end's alone: nothing else of the program includes it (the graphics
# device, the sound layer and the rest reach it through platform/platform.h).
add_test(NAME structure.sdl_only_in_the_platform_back_end
  COMMAND bash -c "! grep -rnE '#include *[<\"](SDL2/)?SDL' '${CMAKE_SOURCE_DIR}/engine' '${CMAKE_SOURCE_DIR}/game' '${CMAKE_SOURCE_DIR}/entling' '${CMAKE_SOURCE_DIR}/platform' --exclude=platform_sdl.cpp")
# The actor library reaches the program through game/entlingExports.h and its call list alone.
add_test(NAME structure.entling_includes_only_its_exports
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/structure/entling_includes.sh ${CMAKE_SOURCE_DIR})
# Every source path the README and docs/features.md name is there.
add_test(NAME structure.doc_paths_exist COMMAND bash ${CMAKE_SOURCE_DIR}/tests/structure/doc_paths.sh ${CMAKE_SOURCE_DIR})

# The SDL back end's own tests.
add_test(NAME platform_sdl_tests COMMAND platform_sdl_tests)
set_tests_properties(platform_sdl_tests PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT 120)

# The GL pixel suite, one process for the whole suite: the device opens once.
if(TARGET render_gl_tests)
  add_test(NAME render_gl_tests COMMAND render_gl_tests)
  set_tests_properties(render_gl_tests PROPERTIES
    ENVIRONMENT "SDL_VIDEODRIVER=offscreen;ASCENDA_NO_MESSAGE_BOX=1;ASCENDA_BIN_DIR=${ASCENDA_BIN_DIR}" TIMEOUT 300)
endif()

# Each shader of the program folder compiles for the device's profiles.
foreach(_sh ${ASCENDA_SHADERS})
  add_test(NAME shader.${_sh} COMMAND bash "${CMAKE_SOURCE_DIR}/tests/tools/check_shader.sh" "${ASCENDA_GLSLANG}"
    "${CMAKE_SOURCE_DIR}/data/shaders/${_sh}")
endforeach()

# Every level from 1 to 12 over many seeds: no fatal, always a path from the start to the end.
if(ASCENDA_SANITIZE)
  set(sweep_seeds 60)
else()
  set(sweep_seeds 1000)
endif()
add_test(NAME level.seed_sweep COMMAND leveltool --data ${ASCENDA_BIN_DIR} --sweep ${sweep_seeds})
set_tests_properties(level.seed_sweep PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT 300)
# Every argument of the level tool is checked before anything is built.
add_test(NAME level.tool_arguments
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/leveltool_args.sh $<TARGET_FILE:leveltool> ${ASCENDA_BIN_DIR})
set_tests_properties(level.tool_arguments PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT 120)

# One short run of every benchmark and tool the README names.
include(${CMAKE_SOURCE_DIR}/tests/smoke.cmake)
# "--help" and wrong arguments of the game and the tools, the game without a display.
include(${CMAKE_SOURCE_DIR}/tests/command_line.cmake)
