# The 64-bit Windows build (cross-compiled with cmake/toolchains/mingw-w64-x86_64.cmake; see
# scripts/build-windows.sh). The same subsystem folders build as on Linux; the Windows pieces
# come from platform/win (module handle, resources, critical section, dynamic loading; it
# knows none of the subsystems), graphics/bitmap/win (DIB sections, GDI fonts and text) and
# graphics/win (the editor window). The deliverables are finished once every folder has been
# added: DLL names, export tables and the images as PNG resources.
option(QD_WIN_TESTS "Build the Windows test programs that run under Wine" ON)
list(REMOVE_ITEM QD_SUBSYSTEMS graphics/x11 tools/artwork resources)
list(PREPEND QD_SUBSYSTEMS platform/win)
list(APPEND QD_SUBSYSTEMS graphics/win)
if(QD_WIN_TESTS)
  list(APPEND QD_SUBSYSTEMS tests/windows)
endif()

# <windows.h> without its min/max macros and the rarely used headers; the C library's
# reentrant time functions (localtime_r, gmtime_r) as on Linux.
add_compile_definitions(NOMINMAX WIN32_LEAN_AND_MEAN _POSIX_THREAD_SAFE_FUNCTIONS=200112L)

# The module-definition file of a deliverable: its own entry points, then cairo's public
# functions, which the VST2 and AAX deliverables export under their cairo names (NO_CAIRO:
# the entry points only).
function(qd_windows_def_file out library)
  cmake_parse_arguments(ARG "NO_CAIRO" "" "" ${ARGN})
  set(text "LIBRARY ${library}\nEXPORTS\n")
  foreach(name IN LISTS ARG_UNPARSED_ARGUMENTS)
    string(APPEND text "  ${name}\n")
  endforeach()
  if(ARG_NO_CAIRO)
    file(WRITE ${out}.new "${text}")
    configure_file(${out}.new ${out} COPYONLY)
    return()
  endif()
  set(cairo_list ${QD_WIN_DEPS}/lib/cairo-exports.txt)
  if(NOT EXISTS ${cairo_list})
    message(FATAL_ERROR "${cairo_list} is missing: run scripts/windows/deps.sh")
  endif()
  file(STRINGS ${cairo_list} cairo_names)
  foreach(name IN LISTS cairo_names)
    string(APPEND text "  ${name}\n")
  endforeach()
  file(WRITE ${out}.new "${text}")
  configure_file(${out}.new ${out} COPYONLY)
endfunction()

function(qd_windows_deliverable target library)
  # The Linux link options (ELF version script, symbol hiding) do not apply to PE; the
  # module-definition file lists the exports instead.
  set_target_properties(${target} PROPERTIES LINK_OPTIONS "" LINK_DEPENDS "")
  # The X11 editor window is Linux's; graphics_win takes its place.
  get_target_property(libraries ${target} LINK_LIBRARIES)
  list(REMOVE_ITEM libraries graphics_x11)
  set_target_properties(${target} PROPERTIES LINK_LIBRARIES "${libraries}")
  set(def ${CMAKE_BINARY_DIR}/${library}.def)
  qd_windows_def_file(${def} ${library} ${ARGN})
  target_sources(${target} PRIVATE ${def} ${PROJECT_SOURCE_DIR}/platform/win/module/DllMain.cpp
                 ${QD_WIN_RESOURCE_SCRIPT})
  target_link_libraries(${target} PRIVATE platform_win)
  if(TARGET graphics_win)
    target_link_libraries(${target} PRIVATE graphics_win)
    target_compile_definitions(${target} PRIVATE QD_WITH_GRAPHICS_WIN)
  endif()
endfunction()

function(qd_windows_finish)
  if(TARGET QuarloDorvantix)
    set_target_properties(QuarloDorvantix PROPERTIES SUFFIX ".dll")
    qd_windows_deliverable(QuarloDorvantix QuarloDorvantix.dll VSTPluginMain main)
  endif()
  if(TARGET QuarloDorvantixAax)
    qd_windows_deliverable(QuarloDorvantixAax QuarloDorvantix.aaxplugin ACFRegisterPlugin
      ACFRegisterComponent ACFGetClassFactory ACFCanUnloadNow ACFStartup ACFShutdown
      ACFGetSDKVersion)
    # The bundle layout AAX hosts scan: QuarloDorvantix.aaxplugin/Contents/x64/.
    set(bundle ${CMAKE_BINARY_DIR}/aax-bundle/QuarloDorvantix.aaxplugin/Contents/x64)
    add_custom_target(QuarloDorvantixAaxBundle ALL
      COMMAND ${CMAKE_COMMAND} -E make_directory ${bundle}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:QuarloDorvantixAax> ${bundle}/
      DEPENDS QuarloDorvantixAax VERBATIM)
  endif()
  if(TARGET QuarloDorvantixVst3)
    # QuarloDorvantix.vst3/Contents/x86_64-win/QuarloDorvantix.vst3, exporting the factory
    # and the DLL's init and exit functions only.
    set_target_properties(QuarloDorvantixVst3 PROPERTIES SUFFIX ".vst3")
    qd_windows_deliverable(QuarloDorvantixVst3 QuarloDorvantix.vst3 GetPluginFactory InitDll
      ExitDll NO_CAIRO)
  endif()
  # The plug-in mutex is the critical section of platform/win.
  target_link_libraries(framework PUBLIC platform_win)
  if(TARGET tools_host)
    # dlopen and friends over LoadLibrary, for the host's loader.
    target_include_directories(tools_host BEFORE PUBLIC ${PROJECT_SOURCE_DIR}/platform/win/compat)
  endif()
endfunction()
cmake_language(DEFER DIRECTORY ${PROJECT_SOURCE_DIR} CALL qd_windows_finish)
