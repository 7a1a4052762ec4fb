# A plug-in in one call, and what must know every plug-in: the Windows tests (link map, export and
# import tables, size, the validator's run), the release zip and its check, the reference host's
# build, and the folders of platform-free code that tools/tidy.sh checks. Registered here in global
# properties: tests/win32 reads them, and the top-level CMakeLists.txt installs and writes out the rest
# once everything is registered.

# The contract's entry points: a plug-in exports those its .def names, and none of the others.
set(QV_CONTRACT_ENTRY_POINTS QVGetPluginInfo QVDefault QVInit QVUninit QVConfig QVCommand QVCommandEx)
# Every plug-in in the release zip stays within 64 KiB unless its call says otherwise.
set(QV_PLUGIN_MAX_BYTES 65536)
# The release zip's file names, one a line, without SHA256SUMS.txt: what tests/win32/check_package.sh
# expects.
set(QV_PACKAGE_CONTENTS ${CMAKE_BINARY_DIR}/package_contents.txt)
# The folders of platform-free code, one a line, relative to the source tree: what tools/tidy.sh checks.
set(QV_TIDY_FOLDERS ${CMAKE_BINARY_DIR}/tidy_folders.txt)

if(WIN32)
  add_custom_target(qv_plugins)  # every plug-in; the reference host depends on it
endif()

# qv_add_plugin(NAME name [CORE library source...] WIN source... [RES script...] DEF file
#               [LIBS library...] [MAX_BYTES bytes])
# CORE: the plug-in's platform-free rules, a static library built in both builds (the native one runs
# their unit tests) and linked into the DLL; its sources' folders are its public include path and are
# checked by tools/tidy.sh. The rest is the Windows build only: the DLL NAME.dll from the WIN sources,
# the RES resource scripts and the DEF exports, each one's folder on its include path; LIBS are the
# project's static libraries (defined before the call; compiled as plug-in code too) and the system's
# import libraries it links. The DLL ships in the release zip and is built with the reference host.
function(qv_add_plugin)
  cmake_parse_arguments(ARG "" "NAME;DEF;MAX_BYTES" "CORE;WIN;RES;LIBS" ${ARGN})
  if(NOT ARG_NAME OR NOT ARG_WIN OR NOT ARG_DEF)
    message(FATAL_ERROR "qv_add_plugin: NAME, WIN and DEF are required")
  endif()
  set(name ${ARG_NAME})

  set(core "")
  if(ARG_CORE)
    list(POP_FRONT ARG_CORE core)
    if(NOT ARG_CORE)
      message(FATAL_ERROR "qv_add_plugin(${name}): CORE names the library, then its sources")
    endif()
    add_library(${core} STATIC ${ARG_CORE})
    qv_source_folders(folders ${ARG_CORE})
    target_include_directories(${core} PUBLIC ${folders})
    target_link_libraries(${core} PUBLIC qv_contract)
    qv_plugin_code(${core})
    qv_tidy_folders(${folders})
  endif()
  if(NOT WIN32)
    return()
  endif()

  add_library(${name} SHARED ${ARG_WIN} ${ARG_RES} ${ARG_DEF})
  set_target_properties(${name} PROPERTIES PREFIX "" OUTPUT_NAME ${name})
  qv_source_folders(folders ${ARG_WIN} ${ARG_RES})
  target_include_directories(${name} PRIVATE ${folders})
  # The project's libraries first, the system's last, so that each finds what it needs after it.
  set(ours "")
  set(system "")
  foreach(library IN LISTS ARG_LIBS)
    if(TARGET ${library})
      list(APPEND ours ${library})
    else()
      list(APPEND system ${library})
    endif()
  endforeach()
  target_link_libraries(${name} PRIVATE ${ours} ${core} qv_contract ${system})
  target_compile_definitions(${name} PRIVATE WIN32_LEAN_AND_MEAN NOMINMAX)
  qv_plugin_dll(${name} LIBRARIES ${core} ${ours})

  # What the tests check: the names the .def exports, and the contract's entry points it does not.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARG_DEF})
  get_filename_component(def ${ARG_DEF} ABSOLUTE)
  qv_def_exports(exports ${def})
  if(NOT exports)
    message(FATAL_ERROR "qv_add_plugin(${name}): ${ARG_DEF} exports no name")
  endif()
  set(absent ${QV_CONTRACT_ENTRY_POINTS})
  list(REMOVE_ITEM absent ${exports})
  if(NOT ARG_MAX_BYTES)
    set(ARG_MAX_BYTES ${QV_PLUGIN_MAX_BYTES})
  endif()
  set_target_properties(${name} PROPERTIES QV_EXPORTS "${exports}" QV_NOT_EXPORTED "${absent}"
                        QV_MAX_BYTES ${ARG_MAX_BYTES})

  set_property(GLOBAL APPEND PROPERTY QV_PLUGINS ${name})
  add_dependencies(qv_plugins ${name})
  qv_ship(TARGETS ${name})
endfunction()

# qv_def_exports(VAR file): the names a module-definition file's EXPORTS section exports, as a host
# looks them up: each entry's first word (the part before "=" is the exported name). Entries exported
# by ordinal only (NONAME) have no name; ";" starts a comment; another section keyword ends the list.
function(qv_def_exports var file)
  file(STRINGS ${file} lines)
  set(names "")
  set(in_exports FALSE)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE ";.*" "" line "${line}")
    string(STRIP "${line}" line)
    if(line MATCHES "^(NAME|LIBRARY|DESCRIPTION|EXPORTS|IMPORTS|HEAPSIZE|STACKSIZE|SECTIONS|VERSION)([ \t]|$)")
      string(COMPARE EQUAL "${CMAKE_MATCH_1}" EXPORTS in_exports)
    elseif(in_exports AND NOT line MATCHES "[ \t]NONAME([ \t]|$)" AND line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)")
      list(APPEND names ${CMAKE_MATCH_1})
    endif()
  endforeach()
  set(${var} ${names} PARENT_SCOPE)
endfunction()

# qv_ship([TARGETS target...] [FILES file...]): into the release zip's one folder.
function(qv_ship)
  cmake_parse_arguments(ARG "" "" "TARGETS;FILES" ${ARGN})
  set_property(GLOBAL APPEND PROPERTY QV_SHIPPED_TARGETS ${ARG_TARGETS})
  foreach(file IN LISTS ARG_FILES)
    get_filename_component(file ${file} ABSOLUTE)
    set_property(GLOBAL APPEND PROPERTY QV_SHIPPED_FILES ${file})
  endforeach()
endfunction()

# qv_tidy_folders(folder...): platform-free code, whose sources and headers tools/tidy.sh checks.
function(qv_tidy_folders)
  foreach(folder IN LISTS ARGN)
    get_filename_component(folder ${folder} ABSOLUTE)
    file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${folder})
    set_property(GLOBAL APPEND PROPERTY QV_TIDY_FOLDERS ${folder})
  endforeach()
endfunction()

# qv_source_folders(VAR source...): the sources' folders, each once.
function(qv_source_folders var)
  set(folders "")
  foreach(source IN LISTS ARGN)
    get_filename_component(source ${source} ABSOLUTE)
    get_filename_component(folder ${source} DIRECTORY)
    list(APPEND folders ${folder})
  endforeach()
  list(REMOVE_DUPLICATES folders)
  set(${var} ${folders} PARENT_SCOPE)
endfunction()

# qv_install_shipped(): installs what ships into the release zip's folder and lists the names for its
# check. Called once, after everything has been registered.
function(qv_install_shipped)
  get_property(targets GLOBAL PROPERTY QV_SHIPPED_TARGETS)
  get_property(files GLOBAL PROPERTY QV_SHIPPED_FILES)
  set(installed "")
  set(names "")
  foreach(target IN LISTS targets)
    list(APPEND installed $<TARGET_FILE:${target}>)
    list(APPEND names $<TARGET_FILE_NAME:${target}>)
  endforeach()
  foreach(file IN LISTS files)
    list(APPEND installed ${file})
    get_filename_component(file_name ${file} NAME)
    list(APPEND names ${file_name})
  endforeach()
  install(FILES ${installed} DESTINATION .)
  list(JOIN names "\n" text)
  file(GENERATE OUTPUT ${QV_PACKAGE_CONTENTS} CONTENT "${text}\n")
endfunction()

# qv_write_tidy_folders(): lists the folders of platform-free code for tools/tidy.sh. Called once,
# after everything has been registered.
function(qv_write_tidy_folders)
  get_property(folders GLOBAL PROPERTY QV_TIDY_FOLDERS)
  list(REMOVE_DUPLICATES folders)
  list(JOIN folders "\n" text)
  file(WRITE ${QV_TIDY_FOLDERS} "${text}\n")
endfunction()
