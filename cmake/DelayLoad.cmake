# The DLLs the program imports that are not Known DLLs are delay-loaded: the loader then looks for
# none of them before the program starts (a folder users can write, a portable copy's, must never
# supply one to the elevated process), and when the program first calls into one, start-up has
# limited the search to the system folder. A target named after the library stands for it, so every
# target_link_libraries(... wininet ...) links the delay-loading form.
#
# mingw-w64: a delay-import library made by dlltool from the export list of mingw's own import
# library (GNU ld leaves the delay-import directory of the image empty; the loading works all the
# same through mingw's __delayLoadHelper2). MSVC: the import library and /DELAYLOAD.
function(surfkeep_delay_loaded name)
  if(TARGET ${name})
    return()
  endif()
  add_library(${name} INTERFACE)
  if(MINGW)
    get_filename_component(_bin "${CMAKE_CXX_COMPILER}" DIRECTORY)
    string(REGEX REPLACE "g\\+\\+(-posix|-win32)?$" "" _prefix "${CMAKE_CXX_COMPILER}")
    find_program(SURFKEEP_DLLTOOL NAMES "${_prefix}dlltool" x86_64-w64-mingw32-dlltool dlltool REQUIRED)
    find_program(SURFKEEP_NM NAMES "${_prefix}nm" x86_64-w64-mingw32-nm nm REQUIRED)
    find_library(_import_${name} NAMES "lib${name}.a" ${name} REQUIRED)
    set(_dir "${CMAKE_BINARY_DIR}/delayload")
    file(MAKE_DIRECTORY "${_dir}")
    execute_process(COMMAND "${SURFKEEP_NM}" -g --defined-only "${_import_${name}}"
                    OUTPUT_VARIABLE _symbols RESULT_VARIABLE _status)
    if(NOT _status EQUAL 0)
      message(FATAL_ERROR "cannot list the exports of ${_import_${name}}")
    endif()
    string(REGEX MATCHALL "__imp_[A-Za-z0-9_@?$]+" _imports "${_symbols}")
    list(REMOVE_DUPLICATES _imports)
    set(_def "LIBRARY ${name}.dll\nEXPORTS\n")
    foreach(_import IN LISTS _imports)
      string(REPLACE "__imp_" "" _export "${_import}")
      string(APPEND _def "  ${_export}\n")
    endforeach()
    file(WRITE "${_dir}/${name}.def" "${_def}")
    set(_lib "${_dir}/lib${name}_delay.a")
    execute_process(COMMAND "${SURFKEEP_DLLTOOL}" --input-def "${_dir}/${name}.def" --dllname "${name}.dll"
                            --output-delaylib "${_lib}"
                    RESULT_VARIABLE _status)
    if(NOT _status EQUAL 0)
      message(FATAL_ERROR "dlltool could not make the delay-import library of ${name}.dll")
    endif()
    target_link_libraries(${name} INTERFACE "${_lib}")
  elseif(MSVC)
    target_link_libraries(${name} INTERFACE "${name}.lib" delayimp.lib)
    target_link_options(${name} INTERFACE "/DELAYLOAD:${name}.dll" "/IGNORE:4199")
  else()
    target_link_libraries(${name} INTERFACE "${name}.lib")
  endif()
endfunction()

foreach(_dll IN ITEMS bcrypt comctl32 version wininet)
  surfkeep_delay_loaded(${_dll})
endforeach()
