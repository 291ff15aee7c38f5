# Refuses an #include of a higher layer: run by ctest as
#   cmake -DSOURCE_DIR=<source> -DLAYERS=a,b,... -DALLOWED_<layer>=x,y,... -P CheckLayerIncludes.cmake
# LAYERS names the core's layer folders; ALLOWED_<layer> the folders that
# layer may include (itself and every layer below it), as the build declares
# them (pellucine_layer in source/CMakeLists.txt). Any other folder of the
# source tree (desktop_only, a higher layer) is refused. Lists are given
# with commas, so that ctest passes each as one argument.
if(NOT SOURCE_DIR OR NOT LAYERS)
  message(FATAL_ERROR "CheckLayerIncludes: SOURCE_DIR and LAYERS are needed")
endif()
string(REPLACE "," ";" layers "${LAYERS}")
file(GLOB folders LIST_DIRECTORIES true RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/*)
set(known)
foreach(f IN LISTS folders)
  if(IS_DIRECTORY ${SOURCE_DIR}/${f})
    list(APPEND known ${f})
  endif()
endforeach()

set(failures 0)
foreach(layer IN LISTS layers)
  string(REPLACE "," ";" allowed "${ALLOWED_${layer}}")
  if(NOT allowed)
    message(FATAL_ERROR "CheckLayerIncludes: no ALLOWED_${layer}")
  endif()
  file(GLOB_RECURSE files ${SOURCE_DIR}/${layer}/*.h ${SOURCE_DIR}/${layer}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"/]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"/]+)/.*" "\\1" target "${line}")
      list(FIND known ${target} isFolder)
      list(FIND allowed ${target} isAllowed)
      if(isFolder GREATER -1 AND isAllowed EQUAL -1)
        file(RELATIVE_PATH shown ${SOURCE_DIR} ${file})
        message("${shown}: ${line} (the ${layer} layer may include only: ${allowed})")
        math(EXPR failures "${failures} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(failures GREATER 0)
  message(FATAL_ERROR "${failures} include(s) of a higher layer")
endif()
message(STATUS "Every layer includes only itself and the layers below it")
