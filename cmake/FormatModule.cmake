# qd_format_module(NAME target OUTPUT_NAME name OUTPUT_DIR dir [SUFFIX suffix] [EDITOR]
#                  SOURCES entry.cpp... LIBRARIES binding-and-engine...)
# A plug-in deliverable: a loadable module of the entry-point sources over the binding's
# static libraries; with EDITOR (a module that opens the editor in a window of its own), the
# X11 editor window too. A module without it (the LV2 DSP binary) does not link X11 at all.
# It exports only what module/exports.map in the calling folder lists; the static libraries
# inside it are hidden and none of their symbols leave it. Lands in <build>/<dir>. (The
# Windows build swaps the window and export table; see cmake/Windows.cmake.)
function(qd_format_module)
  cmake_parse_arguments(ARG "EDITOR" "NAME;OUTPUT_NAME;OUTPUT_DIR;SUFFIX" "SOURCES;LIBRARIES"
                        ${ARGN})
  set(exports ${CMAKE_CURRENT_SOURCE_DIR}/module/exports.map)
  add_library(${ARG_NAME} MODULE ${ARG_SOURCES})
  set_target_properties(${ARG_NAME} PROPERTIES
    PREFIX ""
    OUTPUT_NAME ${ARG_OUTPUT_NAME}
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${ARG_OUTPUT_DIR}
    LINK_DEPENDS ${exports})
  if(ARG_SUFFIX)
    set_target_properties(${ARG_NAME} PROPERTIES SUFFIX ${ARG_SUFFIX})
  endif()
  target_link_libraries(${ARG_NAME} PRIVATE ${ARG_LIBRARIES})
  if(ARG_EDITOR)
    target_link_libraries(${ARG_NAME} PRIVATE graphics_x11)
  endif()
  target_link_options(${ARG_NAME} PRIVATE -Wl,--exclude-libs,ALL -Wl,--version-script=${exports})
  if(NOT QD_SANITIZE AND NOT QD_TSAN)
    # Every symbol the module needs must resolve at link time, not in the host.
    target_link_options(${ARG_NAME} PRIVATE -Wl,--no-undefined)
  endif()
endfunction()
