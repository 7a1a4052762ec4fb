# qv_add_fuzzer(NAME SOURCES source... RUNS count MAX_LEN bytes): the libFuzzer target NAME.cpp of the
# calling folder, built with the code it feeds (SOURCES; their folders are its include path), and a
# test that runs it for a bounded number of inputs with the dictionary NAME.dict beside it. The fuzzer
# runtime comes with clang, so the target is compiled with clang++ whatever compiler this tree uses;
# without clang++ it is left out, with a warning.
function(qv_add_fuzzer name)
  cmake_parse_arguments(ARG "" "RUNS;MAX_LEN" "SOURCES" ${ARGN})
  if(NOT ARG_SOURCES OR NOT ARG_RUNS OR NOT ARG_MAX_LEN)
    message(FATAL_ERROR "qv_add_fuzzer(${name}): SOURCES, RUNS and MAX_LEN are required")
  endif()
  find_program(QV_CLANGXX NAMES clang++ clang++-14)
  if(NOT QV_CLANGXX)
    message(WARNING "clang++ not found: the fuzz target ${name} is not built (run tools/setup.sh)")
    return()
  endif()
  set(warnings -Wall -Wextra)
  if(QV_WARNINGS_AS_ERRORS)
    list(APPEND warnings -Werror)
  endif()
  qv_source_folders(folders ${ARG_SOURCES})
  set(includes "")
  set(headers "")
  foreach(folder IN LISTS folders)
    list(APPEND includes -I${folder})
    file(GLOB folder_headers CONFIGURE_DEPENDS ${folder}/*.h)
    list(APPEND headers ${folder_headers})
  endforeach()
  set(fuzzer ${CMAKE_CURRENT_BINARY_DIR}/${name})
  add_custom_command(OUTPUT ${fuzzer}
    COMMAND ${QV_CLANGXX} ${warnings} -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
            ${includes} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp ${ARG_SOURCES} -o ${fuzzer}
    DEPENDS ${name}.cpp ${ARG_SOURCES} ${headers}
    COMMENT "Building ${name} with clang++"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${fuzzer})
  add_test(NAME ${name}
    COMMAND ${fuzzer} -runs=${ARG_RUNS} -max_total_time=15 -seed=1 -max_len=${ARG_MAX_LEN}
            -dict=${CMAKE_CURRENT_SOURCE_DIR}/${name}.dict)
  set_tests_properties(${name} PROPERTIES TIMEOUT 60)
endfunction()
