# Build settings shared by the plug-in DLLs that ship: small, stripped, importing only system DLLs,
# and leaving nothing behind when unloaded.

# The unwinder's frame registry from the toolchain's static libgcc_eh, with its one CreateSemaphoreW
# call renamed so that host_contract/plugin_runtime.cpp can own (and close) the semaphore it makes.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgcc_eh.a
                OUTPUT_VARIABLE QV_LIBGCC_EH OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT IS_ABSOLUTE "${QV_LIBGCC_EH}" OR NOT EXISTS "${QV_LIBGCC_EH}")
  message(FATAL_ERROR "libgcc_eh.a of ${CMAKE_CXX_COMPILER} not found")
endif()
set(QV_UNWINDER_DIR ${CMAKE_BINARY_DIR}/plugin_runtime)
file(MAKE_DIRECTORY ${QV_UNWINDER_DIR})
# Only an unwinder that makes a semaphore needs the renamed call (GCC 14's takes a critical section).
execute_process(COMMAND ${CMAKE_AR} x ${QV_LIBGCC_EH} unwind-dw2-fde.o WORKING_DIRECTORY ${QV_UNWINDER_DIR})
execute_process(COMMAND ${CMAKE_NM} ${QV_UNWINDER_DIR}/unwind-dw2-fde.o
                OUTPUT_VARIABLE QV_UNWINDER_SYMBOLS ERROR_QUIET)
if(QV_UNWINDER_SYMBOLS MATCHES "__imp__CreateSemaphoreW@16")
  set(QV_UNWINDER_OBJECT ${QV_UNWINDER_DIR}/frame_registry.o)
  add_custom_command(OUTPUT ${QV_UNWINDER_OBJECT}
    COMMAND ${CMAKE_AR} x ${QV_LIBGCC_EH} unwind-dw2-fde.o
    COMMAND ${CMAKE_OBJCOPY} --redefine-sym __imp__CreateSemaphoreW@16=__imp__QvUnwinderCreateSemaphoreW@16
            unwind-dw2-fde.o renamed.o
    COMMAND ${CMAKE_NM} renamed.o | grep -q __imp__QvUnwinderCreateSemaphoreW@16
    COMMAND ${CMAKE_COMMAND} -E rename renamed.o ${QV_UNWINDER_OBJECT}
    WORKING_DIRECTORY ${QV_UNWINDER_DIR}
    DEPENDS ${QV_LIBGCC_EH}
    COMMENT "Taking the unwinder's frame registry from libgcc_eh.a"
    VERBATIM)
else()
  set(QV_UNWINDER_OBJECT "")
endif()
add_custom_target(qv_unwinder DEPENDS ${QV_UNWINDER_OBJECT})

# qv_plugin_dll(TARGET [LIBRARIES lib...]): LIBRARIES are the project's static libraries linked into
# the DLL, compiled for size like the DLL's own sources so that unused code of theirs drops out too.
function(qv_plugin_dll target)
  cmake_parse_arguments(ARG "" "" "LIBRARIES" ${ARGN})
  foreach(library IN LISTS ARG_LIBRARIES)
    target_compile_options(${library} PRIVATE -Os -ffunction-sections -fdata-sections)
  endforeach()
  target_sources(${target} PRIVATE ${PROJECT_SOURCE_DIR}/host_contract/plugin_runtime.cpp ${QV_UNWINDER_OBJECT})
  if(QV_UNWINDER_OBJECT)
    set_source_files_properties(${QV_UNWINDER_OBJECT} TARGET_DIRECTORY ${target}
                                PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
    add_dependencies(${target} qv_unwinder)
  endif()
  target_compile_options(${target} PRIVATE -Os -ffunction-sections -fdata-sections)
  target_link_options(${target} PRIVATE -s -Wl,--gc-sections)
endfunction()
