# One static library per layer: every .cpp under the layer's folder belongs to it, so a
# new file needs no edit here. Headers are included by their path below src/. Further
# arguments are the layers it uses.
function(corvaline_layer name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  if(NOT sources)
    add_library(${name} INTERFACE)  # a layer still being started
    target_include_directories(${name} INTERFACE "${PROJECT_SOURCE_DIR}/src")
    target_link_libraries(${name} INTERFACE ${ARGN})
    return()
  endif()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_link_libraries(${name} PUBLIC ${ARGN})
endfunction()

# The test executable of a folder, linked to the given libraries; sets `made` in the caller.
function(corvaline_test_executable name dir)
  file(GLOB_RECURSE sources CONFIGURE_DEPENDS "${dir}/*.cpp")
  set(made FALSE PARENT_SCOPE)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE ${ARGN} GTest::gmock GTest::gtest_main)
  set(made TRUE PARENT_SCOPE)
endfunction()

# One test executable per layer, linked to the layer's library; every test is a ctest case.
function(corvaline_layer_tests name dir)
  corvaline_test_executable(${name} ${dir} ${ARGN})
  if(made)
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
  endif()
endfunction()

# Like corvaline_layer_tests, but every test runs in a network namespace of its own.
function(corvaline_netns_tests name dir)
  corvaline_test_executable(${name} ${dir} ${ARGN})
  if(made)
    set_target_properties(${name} PROPERTIES
      CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tests/support/in-netns")
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77)
  endif()
endfunction()

# Widget tests from the .cpp files of the folders given: offscreen Qt with a QApplication made
# by the shared test main, every test in a network namespace of its own (the real core opens
# its ports). FOLDERS: where the tests are; LIBS: the libraries they test.
function(corvaline_qt_tests name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "FOLDERS;LIBS")
  set(sources)
  foreach(folder ${arg_FOLDERS})
    file(GLOB_RECURSE found CONFIGURE_DEPENDS "${folder}/*.cpp")
    list(APPEND sources ${found})
  endforeach()
  if(NOT sources)
    return()
  endif()
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(${name} ${sources} "${PROJECT_SOURCE_DIR}/tests/support/qt/QtTestMain.cpp")
  set_target_properties(${name} PROPERTIES AUTOMOC ON
    CROSSCOMPILING_EMULATOR "${PROJECT_SOURCE_DIR}/tests/support/in-netns")
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(${name} PRIVATE ${arg_LIBS} Qt6::Test GTest::gmock GTest::gtest)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 SKIP_RETURN_CODE 77 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  # The whole program in one process as well: a test that leaves windows or state behind
  # for the next one shows here.
  add_test(NAME ${name}.whole
    COMMAND "${PROJECT_SOURCE_DIR}/tests/support/in-netns" $<TARGET_FILE:${name}>)
  set_tests_properties(${name}.whole PROPERTIES
    TIMEOUT 900 SKIP_RETURN_CODE 77 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
