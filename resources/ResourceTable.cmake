# qd_read_resource_list(list ids types files): reads a resource list into three parallel
# lists: numeric ids, types and the files' full paths (relative to the list's folder).
# List format, one resource a line: <numeric id> <type> <path relative to the list file>;
# blank lines and lines starting with # are ignored; any other line is an error. CMake
# re-runs when the list changes.
function(qd_read_resource_list list ids_var types_var files_var)
  get_filename_component(list_dir ${list} DIRECTORY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${list})
  file(STRINGS ${list} lines)
  set(ids "")
  set(types "")
  set(files "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    if(NOT line MATCHES "^([0-9]+)[ \t]+([A-Za-z0-9_]+)[ \t]+(.+)$")
      message(FATAL_ERROR "${list}: cannot read resource line '${line}'")
    endif()
    list(APPEND ids ${CMAKE_MATCH_1})
    list(APPEND types ${CMAKE_MATCH_2})
    list(APPEND files ${list_dir}/${CMAKE_MATCH_3})
  endforeach()
  set(${ids_var} ${ids} PARENT_SCOPE)
  set(${types_var} ${types} PARENT_SCOPE)
  set(${files_var} ${files} PARENT_SCOPE)
endfunction()

# qd_resource_table(NAME target LIST file FUNCTION name)
# Compiles the files named by a resource list (format above) into a static library holding
# a table of {id, type, bytes}, returned by `const qd::ResourceTable& qd::<FUNCTION>()`.
# Files that do not exist yet are left out of the table with a status message. CMake
# re-runs when the list or a file changes.
function(qd_resource_table)
  cmake_parse_arguments(ARG "" "NAME;LIST;FUNCTION" "" ${ARGN})
  qd_read_resource_list(${ARG_LIST} ids types files)
  set(arrays "")
  set(entries "")
  set(count 0)
  foreach(id type file IN ZIP_LISTS ids types files)
    if(NOT EXISTS ${file})
      message(STATUS "${ARG_NAME}: resource ${id} (${file}) not present, left out")
      continue()
    endif()
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${file})
    file(READ ${file} hex HEX)
    string(LENGTH "${hex}" hex_length)
    math(EXPR size "${hex_length} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)"
           "\\1\n" bytes "${bytes}")
    string(APPEND arrays "const unsigned char kResource${count}[] = {\n${bytes}};\n")
    string(APPEND entries "    {${id}, \"${type}\", kResource${count}, ${size}},\n")
    math(EXPR count "${count} + 1")
  endforeach()
  if(count EQUAL 0)
    set(entries "    {0, nullptr, nullptr, 0},\n")
  endif()
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${ARG_NAME}_table.cpp)
  file(WRITE ${out}.new
       "// Generated from ${ARG_LIST} by ResourceTable.cmake; do not edit.\n"
       "#include \"resources/ResourceTable.h\"\n\nnamespace {\n${arrays}"
       "const qd::ResourceEntry kEntries[] = {\n${entries}};\n}  // namespace\n\n"
       "namespace qd {\nconst ResourceTable& ${ARG_FUNCTION}() {\n"
       "  static const ResourceTable table{kEntries, ${count}};\n  return table;\n}\n"
       "}  // namespace qd\n")
  configure_file(${out}.new ${out} COPYONLY)
  add_library(${ARG_NAME} STATIC ${out})
  target_include_directories(${ARG_NAME} PUBLIC ${PROJECT_SOURCE_DIR})
endfunction()
