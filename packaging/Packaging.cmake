# Release packages, named with the project's version: a portable zip and an NSIS installer.
#   cmake --build <build> --target surfkeep_packages   -> <build>/dist/, without building anything else
#   cmake --build <build> --target package             -> the same through CPack's own target
# tools/package runs the first and copies the result to dist/.

install(TARGETS surfkeep RUNTIME DESTINATION .)
configure_file("${CMAKE_CURRENT_LIST_DIR}/readme.txt.in" "${CMAKE_BINARY_DIR}/packaging/readme.txt" @ONLY
               NEWLINE_STYLE CRLF)
install(FILES "${CMAKE_BINARY_DIR}/packaging/readme.txt" DESTINATION .)

# Publisher and copyright as the program's own version resource states them.
file(STRINGS "${CMAKE_SOURCE_DIR}/src/app/version.rc.in" _sk_rc REGEX "VALUE \"(CompanyName|LegalCopyright)\"")
string(REGEX REPLACE ".*\"CompanyName\", \"([^\"]*)\".*" "\\1" _sk_company "${_sk_rc}")
string(REGEX REPLACE ".*\"LegalCopyright\", \"([^\"]*)\".*" "\\1" _sk_copyright "${_sk_rc}")
file(STRINGS "${CMAKE_SOURCE_DIR}/src/base/ProductInfo.h" _sk_url REGEX "kHomepageURL")
string(REGEX REPLACE ".*L\"([^\"]*)\".*" "\\1" _sk_url "${_sk_url}")
if(_sk_company STREQUAL "" OR _sk_company MATCHES "VALUE" OR _sk_copyright MATCHES "VALUE" OR NOT _sk_url MATCHES "^https?://")
  message(FATAL_ERROR "packaging: publisher, copyright or home page not found in version.rc.in / ProductInfo.h")
endif()

find_program(SURFKEEP_MAKENSIS makensis)

set(CPACK_PACKAGE_NAME "Surfkeep")
set(CPACK_PACKAGE_VENDOR "${_sk_company}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps Internet Explorer and the Windows shell in working order")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "Surfkeep")
set(CPACK_OUTPUT_FILE_PREFIX "${CMAKE_BINARY_DIR}/dist")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/CPackOptions.cmake")
# Our own NSIS.template.in, found before CMake's.
set(CPACK_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}")
set(CPACK_SURFKEEP_NSI "${CMAKE_CURRENT_LIST_DIR}/surfkeep.nsi")
set(CPACK_SURFKEEP_ICON "${CMAKE_SOURCE_DIR}/assets/surfkeep.ico")
set(CPACK_SURFKEEP_VERSION_QUAD "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
set(CPACK_SURFKEEP_COPYRIGHT "${_sk_copyright}")
set(CPACK_SURFKEEP_URL "${_sk_url}")
if(SURFKEEP_MAKENSIS)
  set(CPACK_GENERATOR "ZIP;NSIS")
  set(CPACK_NSIS_EXECUTABLE "${SURFKEEP_MAKENSIS}")
else()
  message(STATUS "makensis not found: packages are the portable zip only (tools/setup installs nsis)")
  set(CPACK_GENERATOR "ZIP")
endif()
set(CPACK_SOURCE_GENERATOR "TXZ")
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/;/build[^/]*/;/\\\\.cache/;/dist/")
include(CPack)

set(SURFKEEP_DIST_DIR "${CMAKE_BINARY_DIR}/dist")
set(_sk_packages "${SURFKEEP_DIST_DIR}/Surfkeep-${PROJECT_VERSION}-portable.zip")
if(SURFKEEP_MAKENSIS)
  list(APPEND _sk_packages "${SURFKEEP_DIST_DIR}/Surfkeep-${PROJECT_VERSION}-setup.exe")
endif()
add_custom_command(
  OUTPUT ${_sk_packages}
  COMMAND "${CMAKE_COMMAND}" -DBUILD_DIR=${CMAKE_BINARY_DIR} -DSTAGE=${CMAKE_BINARY_DIR}/packaging/stage
          -DCONFIG=$<CONFIG> -P "${CMAKE_CURRENT_LIST_DIR}/MakePackages.cmake"
  DEPENDS surfkeep "${CMAKE_BINARY_DIR}/packaging/readme.txt" "${CMAKE_CURRENT_LIST_DIR}/MakePackages.cmake"
          "${CMAKE_CURRENT_LIST_DIR}/CPackOptions.cmake" "${CMAKE_CURRENT_LIST_DIR}/NSIS.template.in"
          "${CMAKE_CURRENT_LIST_DIR}/surfkeep.nsi" "${CMAKE_CURRENT_LIST_DIR}/wizard.bmp"
          "${CMAKE_CURRENT_LIST_DIR}/header.bmp" "${CPACK_SURFKEEP_ICON}"
  COMMENT "Packaging Surfkeep ${PROJECT_VERSION}"
  VERBATIM)
add_custom_target(surfkeep_packages DEPENDS ${_sk_packages})
