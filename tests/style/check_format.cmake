cmake_policy(SET CMP0007 NEW)
# Runs clang-format in dry-run mode over the tracked C and C++ sources; any difference fails with the
# names of the files to reformat (clang-format -i <file>).
execute_process(COMMAND ${GIT} ls-files -- *.c *.cpp *.h
                WORKING_DIRECTORY ${SOURCE_DIR} OUTPUT_VARIABLE files RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(STATUS "not a git checkout; nothing to check")
  return()
endif()
string(REPLACE "\n" ";" files "${files}")
list(FILTER files EXCLUDE REGEX "^$")
execute_process(COMMAND ${CLANG_FORMAT} --dry-run --Werror ${files}
                WORKING_DIRECTORY ${SOURCE_DIR} ERROR_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  string(REGEX MATCHALL "[^\n]*: error:" lines "${out}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE ":[0-9]+:[0-9]+: error:$" "" name "${line}")
    list(APPEND names "${name}")
  endforeach()
  list(REMOVE_DUPLICATES names)
  list(JOIN names "\n  " text)
  message(FATAL_ERROR "not formatted with the checked-in .clang-format:\n  ${text}")
endif()
