# The level: the tile-set generator (run at build time into the program folder's tiles/), the level
# tool (renders a generated level to a PNG with a summary, and sweeps many seeds), the level
# benchmark, and the tests that need the generated tile set.

add_executable(tilegen tools/tilegen/tilegen.cpp)
target_link_libraries(tilegen PRIVATE PkgConfig::STB m)
target_include_directories(tilegen PRIVATE ${CMAKE_SOURCE_DIR})

set(LEVEL_TILES_STAMP ${CMAKE_BINARY_DIR}/level_tiles.stamp)
add_custom_command(
  OUTPUT ${LEVEL_TILES_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${ASCENDA_BIN_DIR}/tiles
  COMMAND tilegen ${ASCENDA_BIN_DIR}
  COMMAND ${CMAKE_COMMAND} -E touch ${LEVEL_TILES_STAMP}
  DEPENDS tilegen
  COMMENT "Generating the level tiles in ${ASCENDA_BIN_DIR}/tiles"
  VERBATIM)
add_custom_target(level_tiles ALL DEPENDS ${LEVEL_TILES_STAMP})

add_executable(leveltool tools/leveltool/leveltool.cpp tools/leveltool/levelToolLib.cpp)
ascenda_link_program(leveltool platform_null)
add_dependencies(leveltool level_tiles)

add_executable(level_bench tools/level_bench/level_bench.cpp tools/leveltool/levelToolLib.cpp)
ascenda_link_program(level_bench platform_null)
add_dependencies(level_bench level_tiles)

add_dependencies(game level_tiles)
if(ASCENDA_TESTS)
  add_dependencies(unit_tests level_tiles)
  target_compile_definitions(unit_tests PRIVATE LEVEL_TILESET_DIR="${ASCENDA_BIN_DIR}/")
endif()
