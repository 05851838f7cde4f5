# The executable's version resource, icon and manifest (ui/resources/tarvex.rc).
# The numbers come from the TARVEX_VERSION_* variables of the top CMakeLists,
# through a generated header that the resource script includes.

set(TARVEX_RESOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/../ui/resources)
get_filename_component(TARVEX_RESOURCE_DIR ${TARVEX_RESOURCE_DIR} ABSOLUTE)

function(tarvex_add_windows_resources target)
  if(NOT WIN32)
    return()
  endif()
  enable_language(RC)
  string(REPLACE "." "," product_commas "${TARVEX_PRODUCT_VERSION}")
  set(gen_dir ${CMAKE_BINARY_DIR}/generated/resources)
  file(CONFIGURE OUTPUT ${gen_dir}/tarvex_version_rc.h CONTENT [[
#pragma once
#define TARVEX_FILEVERSION @TARVEX_VERSION_MAJOR@,@TARVEX_VERSION_MINOR@,@TARVEX_VERSION_RELEASE@,@TARVEX_VERSION_BUILD@
#define TARVEX_FILEVERSION_TEXT "@TARVEX_VERSION_MAJOR@.@TARVEX_VERSION_MINOR@.@TARVEX_VERSION_RELEASE@.@TARVEX_VERSION_BUILD@"
#define TARVEX_PRODUCTVERSION @product_commas@
#define TARVEX_PRODUCTVERSION_TEXT "@TARVEX_PRODUCT_VERSION@"
]] @ONLY)
  target_sources(${target} PRIVATE ${TARVEX_RESOURCE_DIR}/tarvex.rc)
  # windres looks for the icon and the manifest along the include path.
  set_property(SOURCE ${TARVEX_RESOURCE_DIR}/tarvex.rc APPEND PROPERTY INCLUDE_DIRECTORIES
    ${gen_dir} ${TARVEX_RESOURCE_DIR})
  set_property(SOURCE ${TARVEX_RESOURCE_DIR}/tarvex.rc APPEND PROPERTY OBJECT_DEPENDS
    ${gen_dir}/tarvex_version_rc.h ${TARVEX_RESOURCE_DIR}/tarvex.ico
    ${TARVEX_RESOURCE_DIR}/tarvex.manifest)
endfunction()
