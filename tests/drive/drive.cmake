# The test drive of the game world (tests/drive/, its jobs listed in main.cpp): the program's host
# code on the null platform with the real actor library, stepped through the scenario files of
# tests/drive/.
# Each scenario is one test; a line "#! <options>" in a scenario adds driver options to its test
# (--repeat, --swap-at N).
set(_drive ${CMAKE_SOURCE_DIR}/tests/drive)
add_executable(world_drive ${_drive}/main.cpp ${_drive}/driveWorld.cpp ${_drive}/scenario.cpp ${_drive}/route.cpp
  ${_drive}/bossFight.cpp ${_drive}/player.cpp ${_drive}/bench.cpp ${_drive}/wholeRun.cpp)
ascenda_link_program(world_drive platform_null)
# The library resolves its imports against the drive, as it does against the game.
set_target_properties(world_drive PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(world_drive entling)
if(ASCENDA_SANITIZE)
  # The drive reads the library's objects through views of their layout.
  target_compile_options(world_drive PRIVATE -fno-sanitize=vptr)
endif()

if(ASCENDA_TESTS)
  file(GLOB DRIVE_SCENARIOS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/drive/*.txt)
  foreach(scenario ${DRIVE_SCENARIOS})
    get_filename_component(name ${scenario} NAME_WE)
    file(STRINGS ${scenario} _options REGEX "^#!")
    string(REPLACE "#!" "" _options "${_options}")
    separate_arguments(_options UNIX_COMMAND "${_options}")
    add_test(NAME drive.${name} COMMAND world_drive --data ${ASCENDA_BIN_DIR} --lib $<TARGET_FILE:entling> ${_options}
      ${scenario})
    set_tests_properties(drive.${name} PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT 120)
  endforeach()
endif()

if(ASCENDA_TESTS)
  # The command line: --help and wrong arguments (tests/drive/usage.sh lists the cases).
  add_test(NAME drive.usage COMMAND bash ${CMAKE_SOURCE_DIR}/tests/drive/usage.sh $<TARGET_FILE:world_drive>
    ${ASCENDA_BIN_DIR} $<TARGET_FILE:entling> ${CMAKE_SOURCE_DIR}/tests/drive/jump.txt)
  set_tests_properties(drive.usage PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT 120)
endif()

if(ASCENDA_TESTS)
  # The same scenario with the library really rebuilt from its sources (by its rebuild script, in a
  # build tree kept in the build folder) and swapped in while bullets fly: the run goes on unchanged.
  add_test(NAME drive.rebuild_swap COMMAND world_drive --data ${ASCENDA_BIN_DIR} --lib $<TARGET_FILE:entling>
    --rebuild-root ${CMAKE_BINARY_DIR}/drive_rebuild --sources ${ENTLING_SOURCE_DIR} --repeat --swap-at 5
    ${CMAKE_SOURCE_DIR}/tests/drive/bullet_walls.txt)
  set_tests_properties(drive.rebuild_swap PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT 600)
endif()

if(ASCENDA_TESTS)
  # The scripted player on four generated first levels (all four crossed when this was written,
  # their climbs going through most of the rooms with an exit up): it follows the room path to the
  # exit. A count, not a time: fewer crossings than stated means the player or the rooms got worse.
  add_test(NAME drive.player COMMAND world_drive --data ${ASCENDA_BIN_DIR} --lib $<TARGET_FILE:entling>
    --player 1 35-38 --expect-exits 3)
  # About 15 s here (and 30 s for the climbs below), but some 13 times that in the sanitizer build,
  # which a busy machine stretches.
  if(ASCENDA_SANITIZE)
    set(_player_timeout 1800)
  else()
    set(_player_timeout 300)
  endif()
  set_tests_properties(drive.player PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT ${_player_timeout})
  # The same on six second levels, whose climbs pass the tower with an exit right on top (seeds 4
  # and 8) and the four-way shaft (seeds 7 and 9) on the way to the end room; all six crossed when
  # this was written. The hero starts with 20 hearts: this counts the rooms crossed, not the fights.
  add_test(NAME drive.player_climbs COMMAND world_drive --data ${ASCENDA_BIN_DIR} --lib $<TARGET_FILE:entling>
    --player 2 4-9 --health 20 --expect-exits 5)
  set_tests_properties(drive.player_climbs PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1"
    TIMEOUT ${_player_timeout})
  # The scripted player started in front of the level-4 boss fights it on five seeds and then heads
  # for the exit its death places, past the remains (when this was written all five killed it in
  # about 190 updates, the belly plate first, and four reached the exit some 40 later): fewer than
  # four kills or three exits means the fight, the boss or its tiles got worse.
  add_test(NAME drive.boss_kill COMMAND world_drive --data ${ASCENDA_BIN_DIR} --lib $<TARGET_FILE:entling>
    --player 4 1-5 --at-boss --max-steps 600 --expect-kills 4 --expect-exits 3)
  set_tests_properties(drive.boss_kill PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT 300)
  # The same started in the room before the boss's, out of the fight's reach: the player follows the
  # rooms in and the fight takes over when it comes near (all four killed it when this was written).
  add_test(NAME drive.boss_arrival COMMAND world_drive --data ${ASCENDA_BIN_DIR} --lib $<TARGET_FILE:entling>
    --player 4 1-4 --at-boss --boss-distance 340 --max-steps 600 --expect-kills 3)
  set_tests_properties(drive.boss_arrival PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT 300)
  # A whole run on the game's own modes, twice from seed 2 (tests/drive/wholeRun.cpp): the title's
  # Play, levels 1 to 4 crossed by the scripted player with 20 hearts each, an upgrade bought and
  # seen, the boss killed, the notice between worlds, a death, game over and back to the title.
  # About 60 s here alone (some 6,000 updates with their frames, twice), several times that on a
  # busy machine; in the sanitizer build, where one pass takes some 15 minutes, it plays once (the
  # main build checks that a second pass repeats the first).
  if(ASCENDA_SANITIZE)
    set(_whole_run_passes 1)
    set(_whole_run_timeout 3600)
  else()
    set(_whole_run_passes 2)
    set(_whole_run_timeout 1200)
  endif()
  add_test(NAME drive.whole_run COMMAND world_drive --data ${ASCENDA_BIN_DIR} --lib $<TARGET_FILE:entling>
    --whole-run 2 --passes ${_whole_run_passes})
  set_tests_properties(drive.whole_run PROPERTIES ENVIRONMENT "ASCENDA_NO_MESSAGE_BOX=1" TIMEOUT ${_whole_run_timeout})
endif()
