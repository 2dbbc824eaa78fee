# Read by cpack once per generator: each package gets its own name, and the portable zip holds one
# Surfkeep folder, so that unpacking a newer version over an older one keeps the user's files.
if(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_PACKAGE_FILE_NAME "Surfkeep-${CPACK_PACKAGE_VERSION}-portable")
  set(CPACK_PACKAGING_INSTALL_PREFIX "/Surfkeep")
elseif(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "Surfkeep-${CPACK_PACKAGE_VERSION}-setup")
endif()

# The build's own packaging step (MakePackages.cmake) hands over an already installed tree, so that
# cpack builds nothing.
if(DEFINED SURFKEEP_STAGE)
  set(CPACK_INSTALL_CMAKE_PROJECTS "")
  set(CPACK_INSTALLED_DIRECTORIES "${SURFKEEP_STAGE};.")
endif()
