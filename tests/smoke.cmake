# One short run of every benchmark and tool that the README names, so that none of them breaks
# unseen: tiny counts, nothing timed, only that each runs to its end and prints its figures. Not in
# the sanitizer build, which runs every test again far slower, nor in the fuzz build.
if(ASCENDA_TESTS AND NOT ASCENDA_SANITIZE AND NOT ASCENDA_FUZZ)
  set(_smoke_env "ASCENDA_NO_MESSAGE_BOX=1;SDL_VIDEODRIVER=offscreen;SDL_AUDIODRIVER=dummy")
  set(_lib $<TARGET_FILE:entling>)
  # name, expected text of its output, command...
  function(ascenda_smoke name expect)
    add_test(NAME smoke.${name} COMMAND ${ARGN})
    set_tests_properties(smoke.${name} PROPERTIES ENVIRONMENT "${_smoke_env}" TIMEOUT 600
      PASS_REGULAR_EXPRESSION "${expect}" FAIL_REGULAR_EXPRESSION "FATAL ERROR|skipped")
  endfunction()
  ascenda_smoke(entling_bench "update_entling over" entling_bench ${_lib})
  ascenda_smoke(boss_bench "one update_entling step" boss_bench ${ASCENDA_BIN_DIR} ${_lib})
  ascenda_smoke(level_bench "generate_level, level" level_bench ${ASCENDA_BIN_DIR})
  ascenda_smoke(leveltool_level "exit" leveltool --data ${ASCENDA_BIN_DIR} --level 4 --seed 7
    --out ${CMAKE_BINARY_DIR}/smoke_level.png --collision)
  ascenda_smoke(world_drive_bench "update step: median" world_drive --data ${ASCENDA_BIN_DIR} --lib ${_lib} --bench 12 1)
  # One edit, rebuilt with the real script in a build tree of its own, and swapped.
  ascenda_smoke(entling_reload_bench "save to \"entling reload ok\"" entling_reload_bench --rounds 1)
  if(TARGET scene_bench)
    ascenda_smoke(scene_bench "whole frame +median" scene_bench ${ASCENDA_BIN_DIR} 10)
  endif()
  if(TARGET gui_bench)
    ascenda_smoke(gui_bench "update_game_menu" gui_bench ${_lib} 5)
  endif()
  # A program folder without sprites (the font and the shaders only): the benchmarks of the atlas
  # leave the sprite figures out and measure the text, nothing divided by the sprite count.
  foreach(_bench art_bench draw_bench)
    if(TARGET ${_bench})
      add_test(NAME smoke.${_bench}_without_sprites COMMAND bash -c [[
        d=$(mktemp -d) && trap 'rm -rf "$d"' EXIT && cp "$1"/font.tga "$1"/*.sh "$1"/d3dcompiler_43.dll "$d/" || exit 1
        "$2" "$d" >"$d/out" 2>&1
        code=$?
        cat "$d/out"
        [ $code -eq 0 ] && grep -q "^no sprites in $d/sprites/" "$d/out" && grep -q "a screen of debug text" "$d/out"
        ]] _ ${ASCENDA_BIN_DIR} $<TARGET_FILE:${_bench}>)
      set_tests_properties(smoke.${_bench}_without_sprites PROPERTIES ENVIRONMENT "${_smoke_env}" TIMEOUT 300)
    endif()
  endforeach()
endif()
