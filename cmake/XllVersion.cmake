# xll_version_resource(VARIABLE INTERNAL_NAME ADDIN_NAME FILE): on Windows, the version resource of
# one of this project's XLLs (what Windows shows under the file's Properties > Details), made from
# XllVersion.rc.in and the project's version; VARIABLE names it, for zep_add_xll's RESOURCES.
# Elsewhere VARIABLE is empty.
function(xll_version_resource variable internal_name addin_name file)
  set(resource "")
  if(WIN32)
    math(EXPR XLL_BITS "${CMAKE_SIZEOF_VOID_P} * 8")
    set(XLL_INTERNAL_NAME ${internal_name})
    set(XLL_ADDIN_NAME ${addin_name})
    set(XLL_FILE ${file})
    set(resource ${CMAKE_CURRENT_BINARY_DIR}/${internal_name}.rc)
    configure_file(${PROJECT_SOURCE_DIR}/cmake/XllVersion.rc.in ${resource} @ONLY)
  endif()
  set(${variable} ${resource} PARENT_SCOPE)
endfunction()
