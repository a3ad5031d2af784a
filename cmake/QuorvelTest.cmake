# quorvel_add_test(NAME SOURCES a.cpp [b.cpp] LIBS lib...)
# One Qt Test executable per unit, registered with CTest under the label of its layer.
function(quorvel_add_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    # Remembered registry answers go to the build folder, never to the user's cache.
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false;XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/test-cache"
    TIMEOUT 120)
  if(T_LABEL)
    set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL})
  endif()
endfunction()
