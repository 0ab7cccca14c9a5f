# Delay-import libraries for the MinGW-w64 build of KESTOVAN.EXE.
#
# kestovan_delay_import_libraries(OUT_VAR dll...) makes, for each DLL named
# (user32, gdi32, ...), an import library whose functions are delay-loaded:
# the DLL is not named in the executable's import table and is loaded at the
# first call of one of its functions (MinGW-w64's __delayLoadHelper2), which
# is after the entry point has restricted the DLL search to the system
# directory.  The library is made at configure time from the toolchain's own
# import library (its function exports, as `nm` lists them) with dlltool.
# OUT_VAR receives the paths of the libraries made.

function(kestovan_delay_import_libraries out_var)
  set(made)
  set(directory "${CMAKE_BINARY_DIR}/delay-imports")
  file(MAKE_DIRECTORY "${directory}")
  find_program(KESTOVAN_MINGW_NM NAMES ${KESTOVAN_MINGW_TRIPLE}-nm REQUIRED)
  find_program(KESTOVAN_MINGW_DLLTOOL NAMES ${KESTOVAN_MINGW_TRIPLE}-dlltool REQUIRED)
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    # 32-bit symbols: _Name@bytes (stdcall) or _Name (cdecl); the DLL
    # exports them as Name (--kill-at).
    set(prefix "_")
    set(dlltool_options --kill-at)
  else()
    set(prefix "")
    set(dlltool_options)
  endif()
  foreach(dll IN LISTS ARGN)
    find_library(import_library_${dll} NAMES lib${dll}.a NO_CACHE REQUIRED)
    set(library "${directory}/lib${dll}-delay.a")
    if(NOT EXISTS "${library}" OR "${import_library_${dll}}" IS_NEWER_THAN "${library}")
      execute_process(COMMAND ${KESTOVAN_MINGW_NM} "${import_library_${dll}}"
        OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
      # A function has both its thunk (T Name) and its import address
      # (I __imp_Name); data exports have the second only and cannot be
      # delay-loaded.
      string(REGEX MATCHALL "\n[0-9a-f]+ T [^\n]+" thunks "\n${symbols}")
      string(REGEX MATCHALL "\n[0-9a-f]+ I __imp_[^\n]+" addresses "\n${symbols}")
      set(functions)
      foreach(line IN LISTS thunks)
        string(REGEX REPLACE "^.[0-9a-f]+ T " "" name "${line}")
        list(APPEND functions "${name}")
      endforeach()
      string(TOUPPER "${dll}" upper)
      set(definition "LIBRARY ${upper}.dll\nEXPORTS\n")
      foreach(line IN LISTS addresses)
        string(REGEX REPLACE "^.[0-9a-f]+ I __imp_" "" name "${line}")
        if(name IN_LIST functions)
          if(prefix)
            string(REGEX REPLACE "^${prefix}" "" name "${name}")
          endif()
          string(APPEND definition "${name}\n")
        endif()
      endforeach()
      file(WRITE "${directory}/${dll}.def" "${definition}")
      execute_process(COMMAND ${KESTOVAN_MINGW_DLLTOOL} ${dlltool_options}
        --input-def "${directory}/${dll}.def" --dllname ${upper}.dll
        --output-delaylib "${library}"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()
    list(APPEND made "${library}")
  endforeach()
  set(${out_var} "${made}" PARENT_SCOPE)
endfunction()

# kestovan_keep_delay_stubs(target DLLS dll... CALLERS library...): in a
# 32-bit build, keeps the delay-load stubs of the functions that TARGET's
# objects and the static libraries CALLERS (targets) call from the DLLs
# named (whose delay libraries kestovan_delay_import_libraries made): before
# each link of TARGET, cmake/KeepDelayStubs.cmake lists them into a response
# file that the link reads.  The 64-bit linker keeps them by itself.
function(kestovan_keep_delay_stubs target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "DLLS;CALLERS")
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    return()
  endif()
  set(directory "${CMAKE_BINARY_DIR}/delay-imports")
  set(definitions)
  foreach(dll IN LISTS arg_DLLS)
    list(APPEND definitions "${directory}/${dll}.def")
  endforeach()
  set(inputs "$<TARGET_OBJECTS:${target}>")
  foreach(caller IN LISTS arg_CALLERS)
    list(APPEND inputs "$<TARGET_FILE:${caller}>")
  endforeach()
  set(response "${directory}/${target}-stubs.rsp")
  add_custom_command(TARGET ${target} PRE_LINK
    COMMAND ${CMAKE_COMMAND} "-DNM=${KESTOVAN_MINGW_NM}" "-DDEFINITIONS=${definitions}"
      "-DINPUTS=${inputs}" "-DOUTPUT=${response}"
      -P ${CMAKE_SOURCE_DIR}/cmake/KeepDelayStubs.cmake
    VERBATIM)
  target_link_options(${target} PRIVATE "@${response}")
endfunction()
