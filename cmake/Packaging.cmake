# Everything that makes kivsvc installable like any desktop program, besides the install
# rules of the programs themselves: the manual pages, the package's documentation files,
# the values the desktop files are configured with, and the Debian package that
# `cpack -G DEB` builds (scripts/package.sh drives it).

# Where the project lives and who answers for it; set these when packaging for real.
set(KIVSVC_HOMEPAGE "https://kivsvc.example/" CACHE STRING
    "Project home page; the metainfo's screenshots are under it (must end with /)")
set(KIVSVC_APPSTREAM_ID "example.kivsvc.kivsvc" CACHE STRING "AppStream component id")
set(KIVSVC_LICENSE_SPDX "LicenseRef-kivsvc" CACHE STRING "License of the project as SPDX")
set(KIVSVC_MAINTAINER "kivsvc maintainers <maintainers@users.noreply.c-seed-dc98b052.example>"
    CACHE STRING "Maintainer of the Debian package")

# data/changelog is the package's changelog and dates the release in the metainfo; its
# newest entry must be this version, or the package would claim another.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog)
file(STRINGS ${PROJECT_SOURCE_DIR}/data/changelog KIVSVC_CHANGELOG_HEAD LIMIT_COUNT 1)
string(REGEX MATCH "^kivsvc \\(([^)]+)\\)" _ "${KIVSVC_CHANGELOG_HEAD}")
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "data/changelog starts with version '${CMAKE_MATCH_1}', the project is "
                      "${PROJECT_VERSION}: add an entry for it")
endif()
file(STRINGS ${PROJECT_SOURCE_DIR}/data/changelog KIVSVC_CHANGELOG_TRAILER REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX MATCH "([0-9][0-9]?) (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) ([0-9][0-9][0-9][0-9])"
       _ "${KIVSVC_CHANGELOG_TRAILER}")
set(_day ${CMAKE_MATCH_1})
set(_year ${CMAKE_MATCH_3})
set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND _months "${CMAKE_MATCH_2}" _month)
if(_month LESS 0)
  message(FATAL_ERROR "data/changelog: no date in the first entry's trailer line")
endif()
math(EXPR _month "${_month} + 1")
foreach(_part _month _day)
  string(LENGTH "${${_part}}" _length)
  if(_length EQUAL 1)
    set(${_part} 0${${_part}})
  endif()
endforeach()
set(KIVSVC_RELEASE_DATE ${_year}-${_month}-${_day})
if(NOT KIVSVC_RELEASE_DATE MATCHES "^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
  message(FATAL_ERROR "data/changelog: cannot read the date of the first entry")
endif()

add_subdirectory(man)
if(NOT DEFINED BUILD_TESTING OR BUILD_TESTING)
  add_subdirectory(tests/man)
endif()

# Debian's documentation files: the copyright file and the changelog, gzipped.
set(_changelog ${CMAKE_BINARY_DIR}/doc/changelog)
add_custom_command(
  OUTPUT ${_changelog}.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/data/changelog ${_changelog}
  COMMAND gzip -9 -n -f ${_changelog}
  DEPENDS ${PROJECT_SOURCE_DIR}/data/changelog
  VERBATIM)
add_custom_target(kivsvc_changelog ALL DEPENDS ${_changelog}.gz)
install(FILES ${PROJECT_SOURCE_DIR}/data/copyright ${_changelog}.gz DESTINATION share/doc/kivsvc)

# The package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kivsvc)
set(CPACK_PACKAGE_VENDOR "The kivsvc developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "${KIVSVC_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# The build may carry debug information (RelWithDebInfo); the package does not.
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${KIVSVC_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${KIVSVC_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "service program for KIVS-2 and KIVS-3 transfer-switch controllers
Reads KIVS-2 and KIVS-3 automatic transfer-switch controllers over a serial
line (Modbus RTU) or the network (Modbus TCP): identification, events buffer
and both settings sets. Decodes the events into dated sequences with listings
and a timing diagram, edits the settings laid out by a device definition file
and writes them back, saves registration files (.kiv) and prints reports.
.
Also contains kivtool, the same work from the command line, and kivsim, a
simulated controller for training and tests.")
# The libraries come from dpkg-shlibdeps. The Qt platform plugins (the window on X11 or
# Wayland) are loaded at run time, so no library dependency shows them: named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "hicolor-icon-theme, shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
include(CPack)
