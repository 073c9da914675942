# The GUI: the tests that drive the actor library's screens read the sprites and the font of the
# program folder; the hot-swap test swaps between two builds of the library whose menu buttons
# differ in colour; the benchmark of the menus' update and drawing.
if(ASCENDA_TESTS)
  target_compile_definitions(unit_tests PRIVATE GUI_TEST_PROGRAM_DIR="${ASCENDA_BIN_DIR}/")
  set(_gui_lib_dir ${CMAKE_BINARY_DIR}/gui_test_libs)
  foreach(_variant plain tinted)
    set(_target entling_gui_${_variant})
    add_library(${_target} MODULE ${ENTLING_WRAPPERS})
    target_include_directories(${_target} PRIVATE ${CMAKE_SOURCE_DIR} ${ENTLING_SOURCE_DIR} ${ENTLING_GEN_DIR}
      $<TARGET_PROPERTY:ascenda_core,INTERFACE_INCLUDE_DIRECTORIES>)
    add_dependencies(${_target} entling_layouts)
    target_compile_options(${_target} PRIVATE -fvisibility=hidden -fvisibility-inlines-hidden
      $<$<CXX_COMPILER_ID:GNU>:-fno-gnu-unique>)
    target_link_options(${_target} PRIVATE -nodefaultlibs)
    if(ASCENDA_SANITIZE)
      target_compile_options(${_target} PRIVATE -fno-sanitize=vptr)
    endif()
    set_target_properties(${_target} PROPERTIES PREFIX "" SUFFIX ".dll" LIBRARY_OUTPUT_DIRECTORY ${_gui_lib_dir})
    add_dependencies(unit_tests ${_target})
  endforeach()
  target_compile_definitions(entling_gui_tinted PRIVATE ENTLING_MENU_BUTTON_BACK=0xFF00AA00u)
  target_compile_definitions(unit_tests PRIVATE GUI_TEST_LIB_DIR="${_gui_lib_dir}/")
endif()

# The screens drawn on the GL back end, with the real actor library.
if(ASCENDA_TESTS AND TARGET render_gl_tests)
  set_target_properties(render_gl_tests PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(render_gl_tests entling art_data)
  target_compile_definitions(render_gl_tests PRIVATE GUI_GL_TEST_LIBRARY="$<TARGET_FILE:entling>"
    GUI_GL_SHOTS_DIR="${CMAKE_BINARY_DIR}/gui_shots")
endif()

# The menus' benchmark (figures, not a test): build/gui_bench.
if(NOT ASCENDA_FUZZ)
  add_executable(gui_bench ${CMAKE_SOURCE_DIR}/tools/gui_bench/gui_bench.cpp)
  ascenda_link_program(gui_bench platform_sdl)
  set_target_properties(gui_bench PROPERTIES ENABLE_EXPORTS ON)
  add_dependencies(gui_bench entling art_data)
  target_compile_definitions(gui_bench PRIVATE GUI_BENCH_LIBRARY="$<TARGET_FILE:entling>"
    GUI_BENCH_PROGRAM_DIR="${ASCENDA_BIN_DIR}")
endif()
