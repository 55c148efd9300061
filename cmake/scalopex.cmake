# scalopex_add_format(name SOURCES ... LIBS ... MIME ...): one static library
# per format folder, named after the folder, linked to the core and to LIBS.
# MIME names the media types of the files it reads, for the desktop entry.
function(scalopex_add_format name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;MIME" ${ARGN})
  add_library(scalopex_fmt_${name} STATIC ${ARG_SOURCES})
  target_include_directories(scalopex_fmt_${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(scalopex_fmt_${name} PUBLIC scalopex_core ${ARG_LIBS})
  set_property(GLOBAL APPEND PROPERTY SCALOPEX_FORMAT_TARGETS scalopex_fmt_${name})
  set_property(GLOBAL APPEND PROPERTY SCALOPEX_MIME_TYPES ${ARG_MIME})
endfunction()
