# The command line of every program the build makes: "--help" prints the usage on standard output
# and exits 0, a wrong argument prints it on standard error and exits 2, both before anything
# starts; and the game without a display stops at once, saying so. The programs are the build's
# own executable targets, found here, so a new tool is checked without being named. Each check is
# one short run; the timeout only stops a program that started instead of answering.
if(ASCENDA_TESTS AND NOT ASCENDA_FUZZ)
  set(_usage_check bash ${CMAKE_SOURCE_DIR}/tests/tools/usage_check.sh)
  set(_usage_env "XDG_DATA_HOME=${CMAKE_BINARY_DIR}/command_line_data;ASCENDA_NO_MESSAGE_BOX=1;SDL_AUDIODRIVER=dummy")

  # Every executable target of a folder of the build and of the folders below it.
  function(ascenda_executable_targets out dir)
    set(found "")
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(t ${targets})
      get_target_property(type ${t} TYPE)
      if(type STREQUAL "EXECUTABLE")
        list(APPEND found ${t})
      endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(d ${subdirs})
      ascenda_executable_targets(below ${d})
      list(APPEND found ${below})
    endforeach()
    set(${out} ${found} PARENT_SCOPE)
  endfunction()
  ascenda_executable_targets(_usage_programs ${CMAKE_SOURCE_DIR})

  foreach(_program ${_usage_programs})
    set(_help_text "^usage: ${_program} ")
    set(_wrong --bogus-arg)
    # The game passes over arguments it does not know (its log names them): its wrong argument is a
    # switch written in the wrong case.
    if(_program STREQUAL "game")
      set(_wrong -WIN)
    endif()
    # The test programs' help is Google Test's, which lists its flags.
    get_target_property(_links ${_program} LINK_LIBRARIES)
    if("ascenda_test_main" IN_LIST _links)
      set(_help_text "--gtest_filter")
    endif()
    add_test(NAME usage.${_program}.help COMMAND ${_usage_check} 0 "${_help_text}"
      $<TARGET_FILE:${_program}> --help)
    add_test(NAME usage.${_program}.h COMMAND ${_usage_check} 0 "${_help_text}" $<TARGET_FILE:${_program}> -h)
    add_test(NAME usage.${_program}.wrong_argument COMMAND ${_usage_check} 2 "^usage: ${_program} "
      $<TARGET_FILE:${_program}> ${_wrong})
    set_tests_properties(usage.${_program}.help usage.${_program}.h usage.${_program}.wrong_argument PROPERTIES
      ENVIRONMENT "${_usage_env};SDL_VIDEODRIVER=offscreen" TIMEOUT 60)
  endforeach()

  # A count written wrongly (not digits, or below the least the tool takes) is a wrong argument too,
  # not read as some other number: the run would measure what nobody asked for.
  foreach(_case "render_bench|12x" "draw_bench|bin|abc" "gui_bench|lib|0" "scene_bench|bin|9"
    "entling_reload_bench|--rounds|2x")
    string(REPLACE "|" ";" _args "${_case}")
    list(POP_FRONT _args _program)
    if(TARGET ${_program})
      list(GET _args -1 _count)
      add_test(NAME usage.${_program}.wrong_count COMMAND ${_usage_check} 2
        "^${_program}: ${_count}: not a count of" $<TARGET_FILE:${_program}> ${_args})
      set_tests_properties(usage.${_program}.wrong_count PROPERTIES
        ENVIRONMENT "${_usage_env};SDL_VIDEODRIVER=offscreen" TIMEOUT 60)
    endif()
  endforeach()

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
