# Installation and packages.
#
# POSIX: the usual places under the prefix: lib/ (libkvserver.so and, beside
# it where the engine looks for it, libunzip32.so), include/kvserver.h, bin/
# (kvscan, kvdat), share/kvserver/ (the sample KVFILE.DAT and KVINFO.DAT),
# with a pkg-config file (kvserver.pc) and a CMake package
# (find_package(kvserver) giving the imported target kvserver::kvserver).
# Windows: one folder, as a host ships the engine: the DLLs beside the tools
# (the engine finds unzip32.dll and its data beside the host executable),
# the header, the import library and the sample data.
#
# CPack: a Debian package on Linux (it also writes the POSIX registry file
# /etc/trovalen/registry, see cmake/debian/postinst) and a ZIP for each
# Windows build. `cpack --preset <preset>` after the build.

include(CMakePackageConfigHelpers)

if(WIN32)
  set(KV_INSTALL_BINDIR .)
  set(KV_INSTALL_LIBDIR .)
  set(KV_INSTALL_INCLUDEDIR .)
  set(KV_INSTALL_DATADIR .)
  set(KV_INSTALL_CMAKEDIR cmake)
  set(KV_INSTALL_DOCDIR .)
else()
  set(KV_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(KV_INSTALL_LIBDIR ${CMAKE_INSTALL_LIBDIR})
  set(KV_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR})
  set(KV_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/kvserver)
  set(KV_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/kvserver)
  set(KV_INSTALL_DOCDIR ${CMAKE_INSTALL_DOCDIR})
endif()

install(TARGETS kvserver EXPORT kvserverTargets
  RUNTIME DESTINATION ${KV_INSTALL_BINDIR}
  LIBRARY DESTINATION ${KV_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${KV_INSTALL_LIBDIR})
# Loaded at run time, never linked: beside the engine library (POSIX) or the
# host executable (Windows).
install(TARGETS unzip32
  RUNTIME DESTINATION ${KV_INSTALL_BINDIR}
  LIBRARY DESTINATION ${KV_INSTALL_LIBDIR})
install(TARGETS kvscan kvdat RUNTIME DESTINATION ${KV_INSTALL_BINDIR})
install(FILES include/kvserver.h DESTINATION ${KV_INSTALL_INCLUDEDIR})
install(FILES ${CMAKE_BINARY_DIR}/KVFILE.DAT ${CMAKE_BINARY_DIR}/KVINFO.DAT
  DESTINATION ${KV_INSTALL_DATADIR})
install(FILES README.md DESTINATION ${KV_INSTALL_DOCDIR})

# The CMake package: kvserver::kvserver with the header's folder.
install(EXPORT kvserverTargets NAMESPACE kvserver:: DESTINATION ${KV_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/kvserverConfig.cmake.in
  ${CMAKE_BINARY_DIR}/package/kvserverConfig.cmake
  INSTALL_DESTINATION ${KV_INSTALL_CMAKEDIR}
  PATH_VARS KV_INSTALL_DATADIR)
file(WRITE ${CMAKE_BINARY_DIR}/package/version ${PROJECT_VERSION})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/package/kvserverConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/package/kvserverConfig.cmake
  ${CMAKE_BINARY_DIR}/package/kvserverConfigVersion.cmake
  DESTINATION ${KV_INSTALL_CMAKEDIR})

# pkg-config, relocatable: the prefix is found from the file's own folder.
if(NOT WIN32)
  set(KV_PKGCONFIG_DIR ${KV_INSTALL_LIBDIR}/pkgconfig)
  file(RELATIVE_PATH KV_PKGCONFIG_TO_PREFIX /${KV_PKGCONFIG_DIR} /)
  string(REGEX REPLACE "/$" "" KV_PKGCONFIG_TO_PREFIX "${KV_PKGCONFIG_TO_PREFIX}")
  configure_file(cmake/kvserver.pc.in ${CMAKE_BINARY_DIR}/package/kvserver.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/package/kvserver.pc DESTINATION ${KV_PKGCONFIG_DIR})
endif()

# --- Packages ----------------------------------------------------------------
set(CPACK_PACKAGE_NAME kvserver)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "kvserver project")
set(CPACK_PACKAGE_CONTACT "kvserver maintainers <kvserver@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Scanning engine for unwanted software, its command-line scanner and data tools")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES OFF)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_PACKAGE_FILE_NAME kvserver-${PROJECT_VERSION}-win64)
  else()
    set(CPACK_PACKAGE_FILE_NAME kvserver-${PROJECT_VERSION}-win32)
  endif()
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)  # one folder in the ZIP
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, zlib1g")
  # The package's data folder for the registry file that postinst writes.
  set(KV_PACKAGE_DATADIR ${CPACK_PACKAGING_INSTALL_PREFIX}/${KV_INSTALL_DATADIR})
  foreach(script postinst postrm)
    configure_file(cmake/debian/${script}.in ${CMAKE_BINARY_DIR}/package/debian/${script} @ONLY
      FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                       WORLD_READ WORLD_EXECUTE)
  endforeach()
  set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
      ${CMAKE_BINARY_DIR}/package/debian/postinst ${CMAKE_BINARY_DIR}/package/debian/postrm)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()
include(CPack)
