# Adds a subdirectory only when it holds a CMakeLists.txt, so platform and
# optional parts can be absent from a tree without editing the parents.
function(zarv_add_subdirectory_if_present dir)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    add_subdirectory(${dir})
  endif()
endfunction()
