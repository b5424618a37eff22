# Components that are added by separate pieces of work register themselves simply by having a
# CMakeLists.txt in their folder, so that no shared list has to be edited to add one.

# Adds `dir` when it has a CMakeLists.txt.
function(qxr_add_if_present dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()

# Adds every direct subfolder of `parent` that has a CMakeLists.txt, in name order.
function(qxr_add_child_dirs parent)
  set(dir ${CMAKE_CURRENT_SOURCE_DIR}/${parent})
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${dir} ${dir}/*)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${dir}/${child} AND EXISTS ${dir}/${child}/CMakeLists.txt)
      add_subdirectory(${parent}/${child})
    endif()
  endforeach()
endfunction()
