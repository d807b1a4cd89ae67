# Mini-XML for the Windows DLL, as a static library target `tessaline_mxml`.
#
# Debian ships no mingw build of Mini-XML, so the same source package that the Linux build's libmxml-dev
# comes from is fetched with `apt-get source` and its C files are cross-compiled here. The fetch runs once
# per build tree at configure time, with apt state, lists and cache of its own inside the build tree (no
# root needed, the system's apt state is left alone), from deb-src entries derived from the machine's own
# Debian apt sources.

# The one place that names the source package version; the Windows tests check that libmxml-dev on this
# machine is the same version.
set(TESSALINE_MXML_SOURCE_VERSION "3.3.1-1+deb13u1~deb12u1")
set(TESSALINE_MXML_UPSTREAM_VERSION "3.3.1")

set(_mxml_root "${CMAKE_BINARY_DIR}/_deps/mxml")
set(_mxml_source "${_mxml_root}/src/mxml-${TESSALINE_MXML_UPSTREAM_VERSION}")
set(_mxml_stamp "${_mxml_root}/fetched-${TESSALINE_MXML_SOURCE_VERSION}.stamp")

# Writes deb-src entries for the Debian suites of this release (the codename and its -updates, -security
# ... suites) found in the system's apt sources, both the deb822 and the one-line form.
function(_tessaline_write_deb_src_list out_file)
  set(codename "")
  if(EXISTS /etc/os-release)
    file(STRINGS /etc/os-release _lines REGEX "^VERSION_CODENAME=")
    if(_lines)
      string(REGEX REPLACE "^VERSION_CODENAME=\"?([^\"]*)\"?$" "\\1" codename "${_lines}")
    endif()
  endif()
  if(codename STREQUAL "")
    message(FATAL_ERROR "Mini-XML: cannot tell the Debian release (no VERSION_CODENAME in /etc/os-release)")
  endif()
  set(suite_regex "^${codename}(-[a-z]+)?$")

  set(result "")
  # deb822 files: stanzas separated by blank lines, "Field: value" lines.
  file(GLOB deb822_files /etc/apt/sources.list.d/*.sources)
  foreach(file IN LISTS deb822_files)
    file(READ "${file}" text)
    string(REPLACE ";" "," text "${text}")
    string(REGEX REPLACE "\n[ \t]*\n" "\n;" text "${text}")
    foreach(stanza IN LISTS text)
      set(uris "")
      set(suites "")
      set(components "")
      set(signed_by "")
      set(enabled yes)
      string(REPLACE "\n" ";" lines "${stanza}")
      foreach(line IN LISTS lines)
        if(line MATCHES "^URIs:[ \t]*(.*)$")
          set(uris "${CMAKE_MATCH_1}")
        elseif(line MATCHES "^Suites:[ \t]*(.*)$")
          set(suites "${CMAKE_MATCH_1}")
        elseif(line MATCHES "^Components:[ \t]*(.*)$")
          set(components "${CMAKE_MATCH_1}")
        elseif(line MATCHES "^Signed-By:[ \t]*(.*)$")
          set(signed_by "${CMAKE_MATCH_1}")
        elseif(line MATCHES "^Enabled:[ \t]*no")
          set(enabled no)
        endif()
      endforeach()
      if(NOT enabled OR uris STREQUAL "" OR suites STREQUAL "")
        continue()
      endif()
      string(REGEX REPLACE "[ \t]+" ";" suite_list "${suites}")
      set(kept "")
      foreach(suite IN LISTS suite_list)
        if(suite MATCHES "${suite_regex}")
          list(APPEND kept "${suite}")
        endif()
      endforeach()
      if(NOT kept)
        continue()
      endif()
      list(JOIN kept " " kept)
      string(APPEND result "Types: deb-src\nURIs: ${uris}\nSuites: ${kept}\nComponents: ${components}\n")
      if(NOT signed_by STREQUAL "")
        string(APPEND result "Signed-By: ${signed_by}\n")
      endif()
      string(APPEND result "\n")
    endforeach()
  endforeach()

  # One-line files: "deb [options] URI suite components...".
  file(GLOB list_files /etc/apt/sources.list /etc/apt/sources.list.d/*.list)
  foreach(file IN LISTS list_files)
    if(NOT EXISTS "${file}")
      continue()
    endif()
    file(STRINGS "${file}" lines REGEX "^[ \t]*deb[ \t]")
    foreach(line IN LISTS lines)
      if(line MATCHES "^[ \t]*deb[ \t]+(\\[[^]]*\\][ \t]+)?([^ \t]+)[ \t]+([^ \t]+)[ \t]+(.*)$")
        if(CMAKE_MATCH_3 MATCHES "${suite_regex}")
          string(APPEND result "Types: deb-src\nURIs: ${CMAKE_MATCH_2}\nSuites: ${CMAKE_MATCH_3}\n"
                               "Components: ${CMAKE_MATCH_4}\n\n")
        endif()
      endif()
    endforeach()
  endforeach()

  if(result STREQUAL "")
    message(FATAL_ERROR "Mini-XML: no Debian ${codename} entries found in the apt sources")
  endif()
  file(WRITE "${out_file}" "${result}")
endfunction()

if(NOT EXISTS "${_mxml_stamp}")
  message(STATUS "Mini-XML: fetching Debian source package mxml ${TESSALINE_MXML_SOURCE_VERSION}")
  file(REMOVE_RECURSE "${_mxml_root}")
  file(MAKE_DIRECTORY "${_mxml_root}/apt/sources.list.d" "${_mxml_root}/apt/state/lists/partial"
       "${_mxml_root}/apt/cache/archives/partial" "${_mxml_root}/src")
  _tessaline_write_deb_src_list("${_mxml_root}/apt/sources.list.d/deb-src.sources")
  set(_apt_options
      -o "Dir::Etc::SourceList=/dev/null"
      -o "Dir::Etc::SourceParts=${_mxml_root}/apt/sources.list.d"
      -o "Dir::State=${_mxml_root}/apt/state"
      -o "Dir::Cache=${_mxml_root}/apt/cache"
      -o "Debug::NoLocking=1"
      -o "APT::Sandbox::User=")
  execute_process(COMMAND apt-get ${_apt_options} -qq update
                  RESULT_VARIABLE _result OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "Mini-XML: apt-get update for the source lists failed:\n${_out}")
  endif()
  execute_process(COMMAND apt-get ${_apt_options} -qq source "mxml=${TESSALINE_MXML_SOURCE_VERSION}"
                  WORKING_DIRECTORY "${_mxml_root}/src"
                  RESULT_VARIABLE _result OUTPUT_VARIABLE _out ERROR_VARIABLE _out)
  if(NOT _result EQUAL 0 OR NOT EXISTS "${_mxml_source}/mxml.h")
    message(FATAL_ERROR "Mini-XML: apt-get source mxml=${TESSALINE_MXML_SOURCE_VERSION} failed:\n${_out}")
  endif()
  # The downloaded lists and archives are not needed any more.
  file(REMOVE_RECURSE "${_mxml_root}/apt/state/lists" "${_mxml_root}/apt/cache")
  file(TOUCH "${_mxml_stamp}")
endif()

# config.h from the package's template: what mingw-w64 provides, and no threading (the DLL calls the
# parser from the host's thread only).
file(READ "${_mxml_source}/config.h.in" _config)
string(REGEX REPLACE "#define MXML_VERSION[ \t]+\"\"" "#define MXML_VERSION \"Mini-XML v${TESSALINE_MXML_UPSTREAM_VERSION}\""
       _config "${_config}")
foreach(_have HAVE_LONG_LONG_INT HAVE_SNPRINTF HAVE_VSNPRINTF HAVE_STRDUP)
  string(REPLACE "#undef ${_have}" "#define ${_have} 1" _config "${_config}")
endforeach()
file(CONFIGURE OUTPUT "${_mxml_root}/config/config.h" CONTENT "${_config}" @ONLY)

add_library(tessaline_mxml STATIC
  ${_mxml_source}/mxml-attr.c
  ${_mxml_source}/mxml-entity.c
  ${_mxml_source}/mxml-file.c
  ${_mxml_source}/mxml-get.c
  ${_mxml_source}/mxml-index.c
  ${_mxml_source}/mxml-node.c
  ${_mxml_source}/mxml-private.c
  ${_mxml_source}/mxml-search.c
  ${_mxml_source}/mxml-set.c
  ${_mxml_source}/mxml-string.c)
target_include_directories(tessaline_mxml PRIVATE "${_mxml_root}/config" "${_mxml_source}")
target_include_directories(tessaline_mxml SYSTEM INTERFACE "${_mxml_source}")
# Third-party code: built as it is, without our warning flags.
target_compile_options(tessaline_mxml PRIVATE -w)
set_target_properties(tessaline_mxml PROPERTIES C_STANDARD 99 C_EXTENSIONS ON)
