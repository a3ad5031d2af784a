# Writes the fuzzers' larger seeds with the built quorvel-tool, beside the small ones kept in
# fuzz/corpus: a company with all nine expressions (for the reader and the catalogue), and an
# 8-bit palette PNG as the tool writes it, and HEIF and AVIF files of it. cmake -DTOOL=quorvel-tool -DCORPUS=fuzz/corpus -DOUT=build/seeds -P seeds.cmake
cmake_minimum_required(VERSION 3.25)
set(ENV{SOURCE_DATE_EPOCH} 1087226820)
set(picture ${CORPUS}/fuzz_ppm/raw.ppm)
file(MAKE_DIRECTORY ${OUT}/fuzz_company_reader ${OUT}/fuzz_catalogue ${OUT}/fuzz_image_loaders)

function(run)
  execute_process(COMMAND ${TOOL} ${ARGN} RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "quorvel-tool ${ARGN}: ${errors}")
  endif()
endfunction()

# Each expression from another part of the 5 x 3 picture, so that the faces differ.
set(faces "")
set(x 0)
foreach(expression default happy worried thinking depressed surprised frightened enraged repulsed)
  math(EXPR right "${x} % 4 + 1")
  math(EXPR left "${x} % 4")
  list(APPEND faces --face "${expression}=${picture}@${left},0,${right},3")
  math(EXPR x "${x} + 1")
endforeach()
run(new -o ${OUT}/fuzz_company_reader/nine-faces.company --owner "Seed Owner" --word Seed
    --intelligence 9 --aggressiveness 1 --first-words 0x155 ${faces})
# The catalogue reads the same files by fixed positions.
file(COPY_FILE ${OUT}/fuzz_company_reader/nine-faces.company ${OUT}/fuzz_catalogue/nine-faces.company)

# The loaders' fuzzer takes the file name extension from the first byte; 4 is ".png".
run(reduce ${picture} ${OUT}/reduced.png)
string(ASCII 4 png)
file(WRITE ${OUT}/png-prefix "${png}")
execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${OUT}/png-prefix ${OUT}/reduced.png
                OUTPUT_FILE ${OUT}/fuzz_image_loaders/png-palette)
# HEIF and AVIF files of the same picture, written by libheif's own encoder.
file(MAKE_DIRECTORY ${OUT}/fuzz_heif)
foreach(kind heic avif)
  execute_process(COMMAND heif-enc -q 50 -o ${OUT}/fuzz_heif/seed.${kind} ${OUT}/reduced.png
                  RESULT_VARIABLE status OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "heif-enc (libheif-examples) writing the ${kind} seed: ${errors}")
  endif()
endforeach()
file(REMOVE ${OUT}/png-prefix ${OUT}/reduced.png)
