# Build settings of the code that ships inside a plug-in DLL: the DLLs and the platform-free libraries
# linked into them. A plug-in is loaded into and unloaded from a host process many times and must
# never abort it, so it is built without exceptions and RTTI and uses nothing of the C++ runtime
# that throws or allocates; with that, the linker takes in none of the runtime's exception support
# (unwinder, frame registry, emergency pool), which each DLL's link map lets a test check.

# qv_plugin_code(TARGET...): compiled as plug-in code, in the native build too, so that the unit
# tests run the code as it ships. In the Windows build also for size, so that unused code drops out.
function(qv_plugin_code)
  foreach(target IN LISTS ARGN)
    target_compile_options(${target} PRIVATE -fno-exceptions -fno-rtti)
    if(WIN32)
      # No unwind tables either: nothing in a plug-in unwinds, and nothing registers them.
      target_compile_options(${target} PRIVATE -Os -ffunction-sections -fdata-sections
                             -fno-asynchronous-unwind-tables -fno-unwind-tables)
    endif()
  endforeach()
endfunction()

# qv_plugin_dll(TARGET [LIBRARIES lib...]): a plug-in DLL, small and stripped; LIBRARIES are the
# project's static libraries linked into it. Its link map is written to link_maps/TARGET.map, which
# its property QV_LINK_MAP names.
function(qv_plugin_dll target)
  cmake_parse_arguments(ARG "" "" "LIBRARIES" ${ARGN})
  qv_plugin_code(${target} ${ARG_LIBRARIES})
  set(map ${CMAKE_BINARY_DIR}/link_maps/${target}.map)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/link_maps)
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections -Wl,-Map=${map})
  set_target_properties(${target} PROPERTIES QV_LINK_MAP ${map})
endfunction()
