# zq_add_test(NAME SOURCES src... [LIBS lib...] [ENV VAR=value...] [TIMEOUT s])
# Builds one Qt Test executable and registers it with CTest. Tests run under
# the offscreen platform and never see the user's own settings.
function(zq_add_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;ENV" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE Qt6::Test zqtestsetup ${ARG_LIBS})
  target_compile_definitions(${name} PRIVATE ZQ_BIN_DIR="${ZQ_BIN_DIR}"
    ZQ_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;XDG_CONFIG_HOME=${CMAKE_BINARY_DIR}/test-config;${ARG_ENV}")
  if(ZQ_SANITIZE)
    set_property(TEST ${name} APPEND PROPERTY ENVIRONMENT ${ZQ_SANITIZER_ENV})
  endif()
endfunction()
