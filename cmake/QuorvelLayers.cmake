# quorvel_check_all_added([OPTIONAL dir...]): fails the configure step when a folder beside the
# calling CMakeLists.txt has a CMakeLists.txt of its own but was not added, so that a layer
# cannot drop out of the build unnoticed. The OPTIONAL folders are those an option may leave out.
function(quorvel_check_all_added)
  cmake_parse_arguments(C "" "" "OPTIONAL" ${ARGN})
  file(GLOB lists RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  get_property(added DIRECTORY PROPERTY SUBDIRECTORIES)
  foreach(list IN LISTS lists)
    get_filename_component(dir ${list} DIRECTORY)
    if(NOT ${CMAKE_CURRENT_SOURCE_DIR}/${dir} IN_LIST added AND NOT dir IN_LIST C_OPTIONAL)
      file(RELATIVE_PATH here ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_LIST_FILE})
      message(FATAL_ERROR "${dir}/ has a CMakeLists.txt but ${here} does not add it: "
                          "add add_subdirectory(${dir}) at its level in ${here}.")
    endif()
  endforeach()
endfunction()
