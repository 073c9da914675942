# The actor library entling.dll: an ELF shared object in the program folder, built from the ".kst"
# sources of entling/ (C++, each through a wrapper below): main.kst and one translation unit for
# each module that its import lines name, so that an edit recompiles its own module. It links
# nothing of the program: its references resolve against the running game (or a test executable
# with ENABLE_EXPORTS). Only the extern "C" lookups are exported; everything else is hidden, and never "unique", so that unloading
# really unmaps the old code. The build writes entling.dll.tmp and renames it into place, because the
# game may be polling or loading the file while it is built.

# The rebuild script (entling/rebuild_dll.bat) configures a tree of its own that builds this same
# target from another copy of the sources and publishes it under another name.
set(ENTLING_SOURCE_DIR ${CMAKE_SOURCE_DIR}/entling CACHE PATH "Folder of the actor library's sources")
set(ENTLING_PUBLISH_NAME entling.dll CACHE STRING "File name of the built library in the program folder")
# The translation units: main.kst and each module its import lines name ("a.b" is a/b.kst). The
# configuration re-reads main.kst whenever it changes, so a module added there joins the build.
# An import line is read as the game's source watcher reads it: "import ", spaces or tabs, the name.
file(STRINGS ${ENTLING_SOURCE_DIR}/main.kst _entling_imports REGEX "^import ")
set(ENTLING_UNITS ${ENTLING_SOURCE_DIR}/main.kst)
foreach(_import IN LISTS _entling_imports)
  string(REGEX REPLACE "^import [ \t]*([^ \t\r]*).*" "\\1" _module "${_import}")
  string(REPLACE "." "/" _module "${_module}")
  if(NOT EXISTS ${ENTLING_SOURCE_DIR}/${_module}.kst)
    message(FATAL_ERROR "main.kst imports ${_module}.kst, which is not in ${ENTLING_SOURCE_DIR}")
  endif()
  list(APPEND ENTLING_UNITS ${ENTLING_SOURCE_DIR}/${_module}.kst)
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ENTLING_SOURCE_DIR}/main.kst)

# Each unit is compiled through a wrapper that includes it and then its part of the layout table
# (the classes and members its own files define, where they are complete, whatever their access):
# a class defined in a module's code file is checked like any other, and no edit of a module can
# break another unit. The wrappers are written only when their text changes; the rebuild touches
# one to have its unit compiled again when the unit's files changed without a newer time.
set(ENTLING_GEN_DIR ${CMAKE_BINARY_DIR}/entling_gen)
set(ENTLING_WRAPPERS)
set(ENTLING_LAYOUT_PARTS)
foreach(_unit IN LISTS ENTLING_UNITS)
  file(RELATIVE_PATH _rel ${ENTLING_SOURCE_DIR} ${_unit})
  file(CONFIGURE OUTPUT ${ENTLING_GEN_DIR}/units/${_rel}.cpp CONTENT
"// Written by CMake: the unit ${_rel}, then the layout rows of the classes that it defines.
#include \"${_unit}\"
#include \"rows/${_rel}.inc\"
")
  list(APPEND ENTLING_WRAPPERS ${ENTLING_GEN_DIR}/units/${_rel}.cpp)
  list(APPEND ENTLING_LAYOUT_PARTS ${ENTLING_GEN_DIR}/rows/${_rel}.inc)
endforeach()

# The layout parts, their list and the record of the sources, generated from the sources on each
# build that any source changed; each is rewritten only when its text changes. The game compares
# the layouts of the running library and a new build before a swap, and the record with the
# sources as they are.
add_executable(entling_layout_gen tools/entling_layout_gen/entling_layout_gen.cpp tools/entling_layout_gen/layoutScan.cpp)
target_include_directories(entling_layout_gen PRIVATE ${CMAKE_SOURCE_DIR})
set(ENTLING_LAYOUT_TABLE ${ENTLING_GEN_DIR}/entling_layouts.inc)
set(ENTLING_SOURCE_RECORD ${ENTLING_GEN_DIR}/entling_sources.cpp)
set(ENTLING_LAYOUT_STAMP ${ENTLING_GEN_DIR}/entling_layouts.stamp)
# Every cmake -E in a rebuild's commands costs a start-up of CMake (tens of milliseconds, a tenth of
# a short rebuild): the folder is made here, and the publishing below uses cp and mv.
file(MAKE_DIRECTORY ${ENTLING_GEN_DIR})
add_custom_command(OUTPUT ${ENTLING_LAYOUT_STAMP}
  BYPRODUCTS ${ENTLING_LAYOUT_TABLE} ${ENTLING_SOURCE_RECORD} ${ENTLING_LAYOUT_PARTS}
  COMMAND entling_layout_gen ${ENTLING_SOURCE_DIR} main.kst ${ENTLING_GEN_DIR} ${ENTLING_LAYOUT_STAMP}.d
  DEPENDS entling_layout_gen ${ENTLING_SOURCE_DIR}/main.kst
  DEPFILE ${ENTLING_LAYOUT_STAMP}.d
  COMMENT "Layout table and source record of the actor library" VERBATIM)
add_custom_target(entling_layouts DEPENDS ${ENTLING_LAYOUT_STAMP})
# Small and new on every edit: compiled without the precompiled headers.
set_source_files_properties(${ENTLING_SOURCE_RECORD} PROPERTIES GENERATED ON SKIP_PRECOMPILE_HEADERS ON)

add_library(entling MODULE ${ENTLING_WRAPPERS} ${ENTLING_SOURCE_RECORD})
target_include_directories(entling PRIVATE ${CMAKE_SOURCE_DIR} ${ENTLING_SOURCE_DIR} ${ENTLING_GEN_DIR})
add_dependencies(entling entling_layouts)
# Headers of the program come in through its include folders; none of its libraries are linked.
target_include_directories(entling PRIVATE $<TARGET_PROPERTY:ascenda_core,INTERFACE_INCLUDE_DIRECTORIES>)
target_compile_options(entling PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>
  -fdiagnostics-color=never)
# Without it the compiler guesses the class behind each virtual call and inlines that class's
# methods from its declarations at the call, which took a third of the time of the larger modules
# (world, boss) for calls that stay virtual anyway. The code does the same; only its speed differs.
target_compile_options(entling PRIVATE $<$<CXX_COMPILER_ID:GNU>:-fno-devirtualize-speculatively>)
target_link_options(entling PRIVATE -nodefaultlibs)
# gold links the library in three quarters of the time of the default linker (lld took longer
# than either here); both come with binutils.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_link_options(entling PRIVATE -fuse-ld=gold)
endif()
# What every module includes of the program, compiled once: it parses in about as long as a small
# module compiles, and does not change while the game runs.
target_precompile_headers(entling PRIVATE ${CMAKE_SOURCE_DIR}/game/entlingExports.h)
# Linked in the build tree, then published: copied to a temporary name beside the game and renamed.
set_target_properties(entling PROPERTIES PREFIX "" OUTPUT_NAME "entling_lib" SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/entling)
# A rebuild's own tree publishes nothing itself: its script does, after every build that succeeds.
if(ENTLING_PUBLISH_NAME)
  add_custom_command(TARGET entling POST_BUILD
    COMMAND cp -f $<TARGET_FILE:entling> ${ASCENDA_BIN_DIR}/${ENTLING_PUBLISH_NAME}.tmp
    COMMAND mv -f ${ASCENDA_BIN_DIR}/${ENTLING_PUBLISH_NAME}.tmp ${ASCENDA_BIN_DIR}/${ENTLING_PUBLISH_NAME}
    VERBATIM)
endif()
add_dependencies(game entling)

if(ASCENDA_TESTS)
  # The unit tests load the library from the build tree (never the program folder's copy, which a
  # running game's rebuild may replace) and must export the program's symbols to it.
  set_target_properties(unit_tests PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(unit_tests entling)
  target_compile_definitions(unit_tests PRIVATE ENTLING_TEST_LIBRARY="$<TARGET_FILE:entling>")
  # A few tests compile a module of the library into themselves; its includes name the library's
  # folders.
  target_include_directories(unit_tests PRIVATE ${ENTLING_SOURCE_DIR})
  # The class scanner of the layout table is tested on its own, and against the real sources.
  target_sources(unit_tests PRIVATE ${CMAKE_SOURCE_DIR}/tools/entling_layout_gen/layoutScan.cpp)
  target_compile_definitions(unit_tests PRIVATE ENTLING_SOURCE_FOLDER="${ENTLING_SOURCE_DIR}/")
  if(ASCENDA_SANITIZE)
    # The world's tests put objects of their own, laid out like the library's classes, into the
    # object lists, and call the library's objects through such a layout: the dynamic type check
    # of virtual calls would stop those calls, which the design relies on.
    target_compile_options(entling PRIVATE -fno-sanitize=vptr)
    target_compile_options(unit_tests PRIVATE -fno-sanitize=vptr)
  endif()
endif()

if(ASCENDA_FUZZ)
  # The save-stream fuzzer takes the library's code in directly, so the fuzzer's coverage and
  # sanitizers see it; it reaches the functions by name as the game does.
  target_sources(fuzz_entling_stream PRIVATE ${ENTLING_WRAPPERS})
  target_include_directories(fuzz_entling_stream PRIVATE ${ENTLING_SOURCE_DIR} ${ENTLING_GEN_DIR})
  add_dependencies(fuzz_entling_stream entling_layouts)
endif()

# Benchmark of the world walk and the save stream over 1,000 objects (run by hand).
add_executable(entling_bench tools/entling_bench/entling_bench.cpp)
ascenda_link_program(entling_bench platform_null)
set_target_properties(entling_bench PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(entling_bench entling)

# Benchmark of one world step with the level-4 boss fighting (run by hand).
add_executable(boss_bench tools/boss_bench/boss_bench.cpp)
ascenda_link_program(boss_bench platform_null)
set_target_properties(boss_bench PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(boss_bench entling)
if(ASCENDA_SANITIZE OR ASCENDA_FUZZ)
  # It reads the boss's objects through views of their layout, as the world's tests do.
  target_compile_options(boss_bench PRIVATE -fno-sanitize=vptr)
endif()
