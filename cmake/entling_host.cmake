# The program's side of the actor library: what the rebuild script needs to know about this build
# (written into the program folder), the stand-in libraries of the binding tests, and the reload
# benchmark.

# The rebuild script (entling/rebuild_dll.bat) configures a build tree of its own with the same
# options and builds the same target from the sources of the folder it runs in. A rebuild's own
# configure publishes under another name and leaves this file alone.
if(ENTLING_PUBLISH_NAME STREQUAL "entling.dll")
  file(CONFIGURE OUTPUT "${ASCENDA_BIN_DIR}/entling_build.cfg" @ONLY CONTENT
"# Written by CMake for entling/rebuild_dll.bat: the build that made this program folder.
ASCENDA_SOURCE_ROOT='@CMAKE_SOURCE_DIR@'
ASCENDA_CMAKE='@CMAKE_COMMAND@'
ASCENDA_GENERATOR='@CMAKE_GENERATOR@'
ASCENDA_MAKE_PROGRAM='@CMAKE_MAKE_PROGRAM@'
ASCENDA_BUILD_TYPE='@CMAKE_BUILD_TYPE@'
ASCENDA_CC='@CMAKE_C_COMPILER@'
ASCENDA_CXX='@CMAKE_CXX_COMPILER@'
ASCENDA_SANITIZE='@ASCENDA_SANITIZE@'
ASCENDA_REBUILD_ROOT='@CMAKE_BINARY_DIR@/entling_rebuild'
ASCENDA_LAYOUT_GEN='@CMAKE_BINARY_DIR@/entling_layout_gen'
")
  # The rebuild's tree for this program folder and these sources, built with the game: the first
  # save while the game runs then compiles what it changed, not the whole library in a new tree.
  option(ENTLING_PREPARE_REBUILD "Build the rebuild's tree with the game" ON)
  if(ENTLING_PREPARE_REBUILD AND NOT ASCENDA_SANITIZE AND NOT ASCENDA_FUZZ)
    add_custom_target(entling_rebuild_tree
      COMMAND env ASCENDA_PROGRAM_DIR=${ASCENDA_BIN_DIR}/ ENTLING_REBUILD_PREPARE=1 /bin/sh ${ENTLING_SOURCE_DIR}/rebuild_dll.bat
      WORKING_DIRECTORY ${ENTLING_SOURCE_DIR}
      COMMENT "The rebuild's own build tree of the actor library" VERBATIM)
    add_dependencies(entling_rebuild_tree entling entling_layout_gen)
    add_dependencies(game entling_rebuild_tree)
  endif()
endif()

if(ASCENDA_TESTS)
  # The unit tests load stand-in libraries that call back into the program, like the real one.
  set_target_properties(unit_tests PROPERTIES ENABLE_EXPORTS ON)
  set(_bind_lib_dir ${CMAKE_BINARY_DIR}/bind_test_libs)
  # The variants and their compile definitions.
  set(_bind_variants good1 good2 grown member_grown no_vtables missing_name short_table no_link_gui sticky unresolved)
  set(_defs_good1 BIND_TEST_VERSION=1)
  set(_defs_good2 BIND_TEST_VERSION=2)
  set(_defs_grown BIND_TEST_VERSION=3 BIND_TEST_GROWN)
  set(_defs_member_grown BIND_TEST_VERSION=2 BIND_TEST_MEMBER_GROWN)
  set(_defs_no_vtables BIND_TEST_VERSION=1 BIND_TEST_NO_VTABLES)
  set(_defs_missing_name BIND_TEST_VERSION=1 BIND_TEST_MISSING_NAME="render_boss")
  set(_defs_short_table BIND_TEST_VERSION=1 BIND_TEST_SHORT_TABLE)
  set(_defs_no_link_gui BIND_TEST_VERSION=1 BIND_TEST_NO_LINK_GUI)
  set(_defs_sticky BIND_TEST_VERSION=4 BIND_TEST_STICKY)
  set(_defs_unresolved BIND_TEST_VERSION=5 BIND_TEST_UNRESOLVED)
  foreach(_name ${_bind_variants})
    add_library(bind_test_${_name} MODULE ${CMAKE_SOURCE_DIR}/tests/bind/bindTestLib.cpp)
    target_include_directories(bind_test_${_name} PRIVATE ${CMAKE_SOURCE_DIR}
      $<TARGET_PROPERTY:ascenda_core,INTERFACE_INCLUDE_DIRECTORIES>)
    target_compile_definitions(bind_test_${_name} PRIVATE ${_defs_${_name}})
    target_compile_options(bind_test_${_name} PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden)
    if(NOT _name STREQUAL "sticky")
      target_compile_options(bind_test_${_name} PRIVATE -fno-gnu-unique)
    endif()
    set_target_properties(bind_test_${_name} PROPERTIES PREFIX "" SUFFIX ".dll" LIBRARY_OUTPUT_DIRECTORY ${_bind_lib_dir})
    add_dependencies(unit_tests bind_test_${_name})
  endforeach()
  target_compile_definitions(unit_tests PRIVATE BIND_TEST_LIB_DIR="${_bind_lib_dir}")
  if(ASCENDA_SANITIZE)
    # The stand-ins' classes have their tables and type information only in the libraries (hidden),
    # which the dynamic-type check of the test's own calls would need to link.
    set_source_files_properties(${CMAKE_SOURCE_DIR}/tests/unit/entling_bind_test.cpp TARGET_DIRECTORY unit_tests
      PROPERTIES COMPILE_OPTIONS -fno-sanitize=vptr)
  endif()
endif()

# Figures of the hot swap: save to reload, bind and re-link, the update walk.
add_executable(entling_reload_bench ${CMAKE_SOURCE_DIR}/tools/entling_reload_bench/entling_reload_bench.cpp)
ascenda_link_program(entling_reload_bench platform_null)
set_target_properties(entling_reload_bench PROPERTIES ENABLE_EXPORTS ON)
add_dependencies(entling_reload_bench entling)
target_compile_definitions(entling_reload_bench PRIVATE ENTLING_BENCH_PROGRAM_DIR="${ASCENDA_BIN_DIR}"
  ENTLING_BENCH_SOURCE_DIR="${CMAKE_SOURCE_DIR}/entling")
if(ASCENDA_TESTS)
  target_compile_definitions(entling_reload_bench PRIVATE BIND_TEST_LIB_DIR="${_bind_lib_dir}")
  add_dependencies(entling_reload_bench bind_test_good1 bind_test_good2)
endif()
