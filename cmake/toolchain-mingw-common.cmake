# Shared part of the MinGW-w64 toolchain files: expects KESTOVAN_MINGW_TRIPLE.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${KESTOVAN_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KESTOVAN_MINGW_TRIPLE}-g++)
set(CMAKE_RC_COMPILER ${KESTOVAN_MINGW_TRIPLE}-windres)

# nlohmann-json is header-only, but its package configuration points at
# /usr/include, which must never reach the cross compiler (the host C library
# headers would shadow MinGW's).  Stage a copy of the package that holds only
# its own headers and let find_package look there.
set(_kestovan_stage "${CMAKE_BINARY_DIR}/mingw-packages")
if(NOT EXISTS "${_kestovan_stage}/include/nlohmann/json.hpp"
   AND EXISTS "/usr/include/nlohmann/json.hpp")
  file(COPY "/usr/include/nlohmann" DESTINATION "${_kestovan_stage}/include")
  file(COPY "/usr/share/cmake/nlohmann_json" DESTINATION "${_kestovan_stage}/share/cmake")
endif()

set(CMAKE_FIND_ROOT_PATH "/usr/${KESTOVAN_MINGW_TRIPLE}" "${_kestovan_stage}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
