# The command line of the game and of the tools the README names: "--help" prints the usage and
# exits 0, a wrong argument exits 2, both before anything starts; and the game without a display
# stops at once, saying so. Each check is one short run; the timeout only stops a program that
# started instead of answering.
if(ASCENDA_TESTS AND NOT ASCENDA_FUZZ)
  set(_usage_check bash ${CMAKE_SOURCE_DIR}/tests/tools/usage_check.sh)
  set(_usage_env "XDG_DATA_HOME=${CMAKE_BINARY_DIR}/command_line_data;ASCENDA_NO_MESSAGE_BOX=1;SDL_AUDIODRIVER=dummy")
  # program and a wrong argument of it
  set(_usage_programs game:-WIN tilegen:--bogus leveltool:--bogus level_bench:--bogus scene_bench:--bogus entling_bench:--bogus
    entling_reload_bench:--bogus boss_bench:--bogus)
  if(TARGET gui_bench)
    list(APPEND _usage_programs gui_bench:--bogus)
  endif()
  foreach(_entry ${_usage_programs})
    string(REPLACE ":" ";" _parts "${_entry}")
    list(GET _parts 0 _program)
    list(GET _parts 1 _wrong)
    add_test(NAME usage.${_program}.help COMMAND ${_usage_check} 0 "^usage: ${_program} "
      $<TARGET_FILE:${_program}> --help)
    add_test(NAME usage.${_program}.wrong_argument COMMAND ${_usage_check} 2 "^usage: ${_program} "
      $<TARGET_FILE:${_program}> ${_wrong})
    set_tests_properties(usage.${_program}.help usage.${_program}.wrong_argument PROPERTIES
      ENVIRONMENT "${_usage_env};SDL_VIDEODRIVER=offscreen" TIMEOUT 60)
  endforeach()
  # The test binary of the GL pixel tests answers --help through its test framework.
  add_test(NAME usage.render_gl_tests.help COMMAND ${_usage_check} 0 "--gtest_filter"
    $<TARGET_FILE:render_gl_tests> --help)
  set_tests_properties(usage.render_gl_tests.help PROPERTIES ENVIRONMENT "${_usage_env}" TIMEOUT 60)

  # Without a display the game stops at once with a fatal error that names the cause and the way
  # out; the offscreen driver chosen by name still starts (every GL test and benchmark uses it).
  add_test(NAME usage.game.no_display COMMAND ${_usage_check} --no-display 100
    "there is no display.*DISPLAY.*SDL_VIDEODRIVER=offscreen" $<TARGET_FILE:game> -win)
  set_tests_properties(usage.game.no_display PROPERTIES ENVIRONMENT "${_usage_env}" TIMEOUT 60)
  add_test(NAME usage.offscreen_by_name COMMAND ${_usage_check} --offscreen 0 "PASSED.* 1 test"
    $<TARGET_FILE:render_gl_tests> --gtest_filter=DrawGl.Splash)
  set_tests_properties(usage.offscreen_by_name PROPERTIES ENVIRONMENT "${_usage_env}" TIMEOUT 120)

  # The GUI screens' pictures go to build/gui_shots/ whichever folder the tests start in.
  if(TARGET entling)
    add_test(NAME usage.render_gl_tests.gui_shots_in_the_build_tree COMMAND bash -c
      "rm -rf \"$1/gui_shots/hud_game_over.png\" \"$1/started_elsewhere\" && mkdir \"$1/started_elsewhere\" && cd \"$1/started_elsewhere\" && \"$2\" --gtest_filter=GuiScreensGl.HudShowsTheGameOverBanner >/dev/null && test -f \"$1/gui_shots/hud_game_over.png\" && ! test -e gui_shots"
      _ ${CMAKE_BINARY_DIR} $<TARGET_FILE:render_gl_tests>)
    set_tests_properties(usage.render_gl_tests.gui_shots_in_the_build_tree PROPERTIES
      ENVIRONMENT "${_usage_env};SDL_VIDEODRIVER=offscreen" TIMEOUT 120)
  endif()
endif()
