# Every folder builds one library from its sources; the folder decides the
# target (the logic folders, src/ui/qt for the Qt windows, src/ui/win32 for
# the Win32 windows). Files ending in "_win.cpp" are built only on Windows,
# "_posix.cpp" only elsewhere; a program's entry (main.cpp, main_console.cpp)
# is left to the target that builds the program.

function(znt_collect_sources out folder)
  file(GLOB all CONFIGURE_DEPENDS "${folder}/*.cpp")
  set(sources "")
  foreach(f IN LISTS all)
    get_filename_component(name "${f}" NAME)
    if(name MATCHES "_win\\.cpp$" AND NOT WIN32)
      continue()
    endif()
    if(name MATCHES "_posix\\.cpp$" AND WIN32)
      continue()
    endif()
    if(name MATCHES "^main(_console)?\\.cpp$")
      continue()
    endif()
    list(APPEND sources "${f}")
  endforeach()
  set(${out} "${sources}" PARENT_SCOPE)
endfunction()

# znt_logic_library(<target> <folder> [DEPS ...])
function(znt_logic_library target folder)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  znt_collect_sources(logic "${CMAKE_CURRENT_SOURCE_DIR}/${folder}")
  if(logic)
    add_library(${target} STATIC ${logic})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} PUBLIC ${ARG_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${target} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# znt_test(<name> <folder> [DEPS ...] [GUI] [TEST_PREFIX <prefix>]): one test
# program per test folder; with GUI, one program for every "*_guitest.cpp"
# below tests/. TEST_PREFIX tells apart a second program over the same folder.
function(znt_test name folder)
  cmake_parse_arguments(ARG "GUI" "TEST_PREFIX" "DEPS" ${ARGN})
  if(ARG_GUI)
    # Window tests live beside the logic tests of their subsystem.
    file(GLOB_RECURSE srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*_guitest.cpp")
  else()
    file(GLOB srcs CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp")
    list(FILTER srcs EXCLUDE REGEX "_guitest\\.cpp$")
  endif()
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} znt_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  if(ARG_GUI)
    target_link_libraries(${name} PRIVATE Qt6::Test)
  endif()
  # The folders are compiled in as well: gtest_discover_tests passes only the
  # first entry of an ENVIRONMENT list, so the variables below may be missing
  # when a test program runs under ctest.
  target_compile_definitions(${name} PRIVATE
    ZNT_TEST_BIN_DIR_DEFAULT="${CMAKE_BINARY_DIR}"
    ZNT_TEST_SOURCE_DIR_DEFAULT="${PROJECT_SOURCE_DIR}")
  set(prefix "")
  if(ARG_TEST_PREFIX)
    set(prefix TEST_PREFIX ${ARG_TEST_PREFIX})
  endif()
  if(CMAKE_CROSSCOMPILING)
    # Under an emulator (Wine) every start costs seconds: one CTest test per
    # program, which runs all of its cases in one start.
    add_test(NAME ${name} COMMAND ${name})
    return()
  endif()
  gtest_discover_tests(${name} ${prefix}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
