# Run as a script (cmake -P) before the 32-bit program is linked: writes a
# GCC response file that keeps, with an undefined reference (-Wl,-u), the
# delay-load stub of each delay-loaded function the program calls.
#
# The program calls a DLL's function through its import address
# (__imp__Name@N, the dllimport declarations of the Windows headers).  In a
# delay-import library that address and the stub that loads the DLL and
# fills it in are two sections of one member, and i686 GNU ld keeps the
# first and drops the second when only the address is referenced: the
# address then holds 0 and the first call jumps there.  A reference to the
# stub symbol (_Name@N) keeps it.  Only the functions the program's objects
# and libraries refer to are kept, so no other DLL function is linked in.
#
# Variables: NM (the toolchain's nm), DEFINITIONS (the .def files the delay
# libraries were made from), INPUTS (the program's objects and static
# libraries), OUTPUT (the response file).

cmake_minimum_required(VERSION 3.25)

foreach(variable NM DEFINITIONS INPUTS OUTPUT)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "KeepDelayStubs.cmake: ${variable} not set")
  endif()
endforeach()

# The functions the delay libraries provide, as their 32-bit symbols.
set(delayed)
foreach(definition IN LISTS DEFINITIONS)
  file(STRINGS "${definition}" lines)
  list(REMOVE_AT lines 0 1) # LIBRARY and EXPORTS
  foreach(name IN LISTS lines)
    list(APPEND delayed "_${name}")
  endforeach()
endforeach()

# The import addresses the program refers to.
execute_process(COMMAND ${NM} --undefined-only ${INPUTS}
  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "U __imp__[^\n]+" addresses "${symbols}")
set(referred)
foreach(address IN LISTS addresses)
  string(REGEX REPLACE "^U __imp_" "" name "${address}")
  list(APPEND referred "${name}")
endforeach()
list(REMOVE_DUPLICATES referred)
list(SORT referred)
set(kept)
foreach(name IN LISTS referred)
  if(name IN_LIST delayed)
    list(APPEND kept "${name}")
  endif()
endforeach()

set(text "")
foreach(name IN LISTS kept)
  string(APPEND text "-Wl,-u,${name}\n")
endforeach()
file(WRITE "${OUTPUT}.new" "${text}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
