# Scripting and sound: the Squirrel script engine (built once by tools/setup.d/squirrel.sh into a
# cache outside the build trees), libsndfile for decoding and writing sound files, the sound
# generator tool, and the sound data (generated effects and music, the sound script) in bin/sound/.

if(NOT "$ENV{XDG_CACHE_HOME}" STREQUAL "")
  set(_ascenda_sq_default "$ENV{XDG_CACHE_HOME}/ascenda/squirrel3-3.1")
else()
  set(_ascenda_sq_default "$ENV{HOME}/.cache/ascenda/squirrel3-3.1")
endif()
set(ASCENDA_SQUIRREL_DIR "${_ascenda_sq_default}" CACHE PATH "Squirrel 3.1 build: include/ and lib/")
foreach(_f include/squirrel.h include/sqstdmath.h include/sqstdstring.h lib/libsquirrel_static.a lib/libsqstdlib_static.a)
  if(NOT EXISTS "${ASCENDA_SQUIRREL_DIR}/${_f}")
    message(FATAL_ERROR "Squirrel 3.1 is missing (no ${ASCENDA_SQUIRREL_DIR}/${_f}). "
      "Run tools/setup.sh (or bash tools/setup.d/squirrel.sh) once to build it into that cache.")
  endif()
endforeach()
# The game stops runaway scripts through our patch to the VM; a cache from before it is rebuilt by
# the set-up script.
file(STRINGS "${ASCENDA_SQUIRREL_DIR}/include/squirrel.h" _ascenda_sq_interrupt REGEX "sq_setinterruptflag")
if(NOT _ascenda_sq_interrupt)
  message(FATAL_ERROR "The Squirrel 3.1 in ${ASCENDA_SQUIRREL_DIR} was built without our patches. "
    "Run tools/setup.sh (or bash tools/setup.d/squirrel.sh) once to rebuild it.")
endif()

add_library(ascenda_squirrel STATIC IMPORTED)
set_target_properties(ascenda_squirrel PROPERTIES
  IMPORTED_LOCATION "${ASCENDA_SQUIRREL_DIR}/lib/libsquirrel_static.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ASCENDA_SQUIRREL_DIR}/include")
add_library(ascenda_sqstdlib STATIC IMPORTED)
set_target_properties(ascenda_sqstdlib PROPERTIES
  IMPORTED_LOCATION "${ASCENDA_SQUIRREL_DIR}/lib/libsqstdlib_static.a"
  INTERFACE_INCLUDE_DIRECTORIES "${ASCENDA_SQUIRREL_DIR}/include"
  INTERFACE_LINK_LIBRARIES ascenda_squirrel)

pkg_check_modules(SNDFILE REQUIRED IMPORTED_TARGET sndfile)

# The engine's allocation hooks for Squirrel live in engine/sqbind.cpp, next to the only caller of
# sq_open, so every program that opens a VM has them.
target_link_libraries(ascenda_core PUBLIC ascenda_sqstdlib ascenda_squirrel PkgConfig::SNDFILE)

# The sound generator: synthesised effects and music, deterministic, written with libsndfile.
add_executable(sound_gen tools/sound_gen/sound_gen.cpp)
target_link_libraries(sound_gen PRIVATE PkgConfig::SNDFILE)
target_include_directories(sound_gen PRIVATE ${CMAKE_SOURCE_DIR})

set(ASCENDA_SOUND_FILES shoot.wav jump.wav hurt.wav dead.wav game_over.wav spot.wav enemy_hurt.wav enemy_dead.wav
  magnet_jump.wav enemy_jump.wav enemy_shoot.wav burst.wav charge.wav flyer_turn.wav wall_break.wav ricochet.wav
  elevator.wav screen.wav plus.wav minus.wav accept.wav start_level.wav title.wav new_game.wav explosion.wav
  heart.wav up_point.wav boss_hit.wav boss_part_explode.wav boss_dead.wav boss_alarm.wav boss_shoot.wav
  bomb_drop.wav boss_dying.wav music.wav)
set(_ascenda_sound_outputs "")
foreach(_s ${ASCENDA_SOUND_FILES})
  list(APPEND _ascenda_sound_outputs "${ASCENDA_BIN_DIR}/sound/${_s}")
endforeach()
add_custom_command(OUTPUT ${_ascenda_sound_outputs}
  COMMAND ${CMAKE_COMMAND} -E make_directory "${ASCENDA_BIN_DIR}/sound"
  COMMAND sound_gen "${ASCENDA_BIN_DIR}/sound"
  DEPENDS sound_gen
  COMMENT "Generating the game's sounds")
add_custom_command(OUTPUT "${ASCENDA_BIN_DIR}/sound/sound.nut"
  COMMAND ${CMAKE_COMMAND} -E copy_if_different "${CMAKE_SOURCE_DIR}/data/sound/sound.nut" "${ASCENDA_BIN_DIR}/sound/sound.nut"
  DEPENDS "${CMAKE_SOURCE_DIR}/data/sound/sound.nut"
  COMMENT "Copying the sound script")
add_custom_target(sound_data ALL DEPENDS ${_ascenda_sound_outputs} "${ASCENDA_BIN_DIR}/sound/sound.nut")
add_dependencies(game sound_data)  # ./play builds only the game's target: it needs its sounds

# The unit tests read the real sound script and the generated sounds.
if(ASCENDA_TESTS)
  add_dependencies(unit_tests sound_data)
  target_compile_definitions(unit_tests PRIVATE ASCENDA_SOUND_DATA_DIR="${ASCENDA_BIN_DIR}/sound"
    ASCENDA_SOUND_SCRIPT_SOURCE="${CMAKE_SOURCE_DIR}/data/sound/sound.nut")
endif()

# Mixer cost and event latency figures (not a test: it prints numbers).
add_executable(sound_bench tools/sound_bench/sound_bench.cpp)
ascenda_link_program(sound_bench platform_sdl)
