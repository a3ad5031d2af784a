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

# The library levels, lowest first; README.md's layer table shows the same. A source file may
# include headers of its own folder and of folders on lower levels, never of its own level's
# other folders or of a higher one.
set(QUORVEL_LAYERS
  platform 1
  platform/widgets 2
  game 2
  image 2
  company 3
  store 4
  ui 5
  app 6
  tools 6
)

# The level of a path's folder (the longest folder of the table it lies in), or "" outside.
function(quorvel_layer_of path out_folder out_level)
  set(best "")
  set(best_level "")
  set(layers ${QUORVEL_LAYERS})
  while(layers)
    list(POP_FRONT layers folder level)
    string(LENGTH "${folder}" length)
    string(LENGTH "${best}" best_length)
    if(path MATCHES "^${folder}/" AND length GREATER best_length)
      set(best ${folder})
      set(best_level ${level})
    endif()
  endwhile()
  set(${out_folder} "${best}" PARENT_SCOPE)
  set(${out_level} "${best_level}" PARENT_SCOPE)
endfunction()

# Fails (a fatal error naming each fault) when README.md's layer table and QUORVEL_LAYERS
# disagree, or when a source of a library folder includes a header of a level not below its own.
function(quorvel_check_layers source_dir)
  set(faults "")

  file(STRINGS ${source_dir}/README.md rows REGEX "^\\| *[0-9]+ *\\| *`[a-z/]+/` *\\|")
  set(documented_pairs "")
  set(table_pairs "")
  set(layers ${QUORVEL_LAYERS})
  while(layers)
    list(POP_FRONT layers folder level)
    list(APPEND table_pairs "${folder}=${level}")
  endwhile()
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\\| *([0-9]+) *\\| *`([a-z/]+)/`.*" "\\2=\\1" pair "${row}")
    list(APPEND documented_pairs "${pair}")
  endforeach()
  list(SORT documented_pairs)
  list(SORT table_pairs)
  if(NOT documented_pairs STREQUAL table_pairs)
    string(APPEND faults "  README.md's layer table (${documented_pairs}) differs from "
                         "QUORVEL_LAYERS in cmake/QuorvelLayers.cmake (${table_pairs})\n")
  endif()

  set(layers ${QUORVEL_LAYERS})
  set(sources "")
  while(layers)
    list(POP_FRONT layers folder level)
    file(GLOB_RECURSE found RELATIVE ${source_dir} ${source_dir}/${folder}/*.cpp ${source_dir}/${folder}/*.h)
    list(APPEND sources ${found})
  endwhile()
  list(REMOVE_DUPLICATES sources)
  foreach(source IN LISTS sources)
    quorvel_layer_of(${source} own own_level)
    get_filename_component(dir ${source} DIRECTORY)
    file(STRINGS ${source_dir}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      # A name without a folder is the including file's own folder (or a generated file).
      if(NOT header MATCHES "/")
        continue()
      endif()
      if(header MATCHES "^\\.")
        cmake_path(SET joined NORMALIZE "${dir}/${header}")
        set(header "${joined}")
      endif()
      quorvel_layer_of(${header} theirs their_level)
      if(theirs STREQUAL own)
        continue()
      endif()
      if(theirs STREQUAL "" OR NOT their_level LESS own_level)
        if(theirs STREQUAL "")
          set(their_level "no library")
        endif()
        string(APPEND faults "  ${source} (level ${own_level}) includes ${header} "
                             "(level ${their_level})\n")
      endif()
    endforeach()
  endforeach()
  if(faults)
    message(FATAL_ERROR "Layer check failed:\n${faults}"
                        "A library uses only the levels below its own (cmake/QuorvelLayers.cmake).")
  endif()
  message(STATUS "Every include keeps to the levels of cmake/QuorvelLayers.cmake.")
endfunction()

# cmake -DQUORVEL_CHECK_LAYERS=SOURCE_DIR -P cmake/QuorvelLayers.cmake runs the check.
if(CMAKE_SCRIPT_MODE_FILE AND DEFINED QUORVEL_CHECK_LAYERS)
  quorvel_check_layers(${QUORVEL_CHECK_LAYERS})
endif()
