# quorvel_add_test(NAME SOURCES a.cpp [b.cpp] LIBS lib...)
# One Qt Test executable per unit, registered with CTest under the label of its layer.
function(quorvel_add_test name)
  cmake_parse_arguments(T "" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE Qt6::Test ${T_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  # A home of the build's own: the game lookup searches the home's Wine prefixes and Steam
  # libraries and reads the editor's settings, so with the user's own a test could find their
  # game, or their chosen folder, and save into it. Empty variables count as unset.
  set(home ${CMAKE_BINARY_DIR}/test-home)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QT_LOGGING_RULES=qt.qpa.*=false;HOME=${home};XDG_CONFIG_HOME=${home}/.config;XDG_CACHE_HOME=${home}/.cache;XDG_DATA_HOME=${home}/.local/share;WINEPREFIX=;QUORVEL_OBJDATA="
    TIMEOUT 120)
  if(T_LABEL)
    set_tests_properties(${name} PROPERTIES LABELS ${T_LABEL})
  endif()
endfunction()
