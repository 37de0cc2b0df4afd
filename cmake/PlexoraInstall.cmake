# What `cmake --install` puts in place for a host: the library, the public
# headers with the platform headers they show, an exported CMake package
# (find_package(Plexora) gives Plexora::plexora) and plexora.pc.
#
# Installed layout under the prefix:
#   include/plexora/*.h                  public API (#include <plexora/OVAdSettings.h>)
#   include/plexora/Version.h            generated from the project version
#   include/plexora/platform/...         host-facing platform headers
#   lib/libplexora.so.* or lib/libplexora.a and lib/libplexora_platform.a
#   lib/cmake/Plexora/                   package configuration
#   lib/pkgconfig/plexora.pc             the shared library
#   lib/pkgconfig/plexora-static.pc      the static library
#   bin/plexora-adserver, share/plexora/fixtures/   the sandbox ad server
# The shared and the static build may be installed into one prefix: they
# share the headers and the package's configuration and version files
# (identical from both), and each brings targets and a .pc file of its own,
# so neither overwrites the other's. find_package(Plexora) takes the shared
# library when it is there, or the static one when Plexora_USE_STATIC_LIBS
# is set or the shared one is missing.
# Consumers get include/ and include/plexora on their include path: the
# second lets the public headers reach the platform headers by the same
# "platform/..." paths the library's own code uses.
include(CMakePackageConfigHelpers)

set(PLEXORA_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/plexora)
set(PLEXORA_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/Plexora)

# The platform headers a host touches directly: driving the main loop, the
# view world its ads live in, the images of native ads, the errors and
# exceptions it receives, the device facts it tells the library (the
# advertising identifier and its tracking flag, the network's reachability),
# and the address of the store pages that ads' store links open.
set(PLEXORA_HOST_PLATFORM_HEADERS
  platform/device/DeviceProvider.h
  platform/device/NetworkReachability.h
  platform/dispatch/MainLoop.h
  platform/foundation/Error.h
  platform/foundation/Exception.h
  platform/ui/Application.h
  platform/ui/Geometry.h
  platform/ui/Image.h
  platform/ui/Screen.h
  platform/ui/View.h
  platform/ui/ViewController.h
  platform/ui/Window.h
  platform/web/StoreProductSheet.h)

# The headers (paths relative to the repository) reachable from `roots`
# through #include "platform/...", the roots among them. Configuring again
# when one of them changes keeps the list whole.
function(plexora_included_headers out)
  set(pending ${ARGN})
  set(found)
  while(pending)
    list(POP_FRONT pending header)
    if(header IN_LIST found)
      continue()
    endif()
    list(APPEND found ${header})
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${header})
    file(STRINGS ${PROJECT_SOURCE_DIR}/${header} includes REGEX "^#include \"platform/[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"(platform/[^\"]+)\".*" "\\1" included "${line}")
      list(APPEND pending ${included})
    endforeach()
  endwhile()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

file(GLOB PLEXORA_PUBLIC_HEADERS CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${PROJECT_SOURCE_DIR}/include/plexora/*.h)
plexora_included_headers(PLEXORA_INSTALLED_HEADERS ${PLEXORA_PUBLIC_HEADERS} ${PLEXORA_HOST_PLATFORM_HEADERS})
foreach(header IN LISTS PLEXORA_INSTALLED_HEADERS)
  if(header MATCHES "^include/plexora/")
    install(FILES ${header} DESTINATION ${PLEXORA_INSTALL_INCLUDEDIR})
  else()
    get_filename_component(directory ${header} DIRECTORY)
    install(FILES ${header} DESTINATION ${PLEXORA_INSTALL_INCLUDEDIR}/${directory})
  endif()
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/include/plexora/Version.h DESTINATION ${PLEXORA_INSTALL_INCLUDEDIR})

# Hosts of a shared library installed outside the linker's own directories
# find it at run time through a run path that the package hands them.
if(CMAKE_INSTALL_FULL_LIBDIR IN_LIST CMAKE_CXX_IMPLICIT_LINK_DIRECTORIES)
  set(PLEXORA_HOST_RPATH OFF)
else()
  set(PLEXORA_HOST_RPATH ON)
endif()
if(PLEXORA_SHARED)
  set(PLEXORA_TARGETS_FILE PlexoraSharedTargets.cmake)
  install(TARGETS plexora EXPORT PlexoraTargets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
else()
  set(PLEXORA_TARGETS_FILE PlexoraStaticTargets.cmake)
  install(TARGETS plexora plexora_platform EXPORT PlexoraTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
endif()
install(EXPORT PlexoraTargets NAMESPACE Plexora:: FILE ${PLEXORA_TARGETS_FILE} DESTINATION ${PLEXORA_INSTALL_CMAKEDIR})

configure_package_config_file(cmake/PlexoraConfig.cmake.in ${PROJECT_BINARY_DIR}/PlexoraConfig.cmake
  INSTALL_DESTINATION ${PLEXORA_INSTALL_CMAKEDIR})
# Before 1.0 a minor version may break the interface.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/PlexoraConfigVersion.cmake COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/PlexoraConfig.cmake ${PROJECT_BINARY_DIR}/PlexoraConfigVersion.cmake
  DESTINATION ${PLEXORA_INSTALL_CMAKEDIR})

# pkg-config: a static library hands its dependencies to every link
# (Requires), a shared one only to static links of the host (Requires.private).
# The prefix is found from the .pc file's own place, so the tree can be
# installed with --prefix anywhere.
# The static library's file is named outright (-l:), so a shared library
# installed beside it is not taken instead.
string(REPLACE ";" ", " PLEXORA_PC_DEPENDENCIES "libcurl;sqlite3;zlib;libpng;libjpeg;libcrypto;${PLEXORA_PKG_MODULE_NAMES}")
if(PLEXORA_SHARED)
  set(PLEXORA_PC_NAME plexora)
  set(PLEXORA_PC_REQUIRES "Requires.private: ${PLEXORA_PC_DEPENDENCIES}")
  set(PLEXORA_PC_LIBS "-lplexora -pthread")
  if(PLEXORA_HOST_RPATH)
    set(PLEXORA_PC_LIBS "-Wl,-rpath,\${libdir} ${PLEXORA_PC_LIBS}")
  endif()
else()
  set(PLEXORA_PC_NAME plexora-static)
  set(PLEXORA_PC_REQUIRES "Requires: ${PLEXORA_PC_DEPENDENCIES}")
  set(PLEXORA_PC_LIBS "-l:libplexora.a -l:libplexora_platform.a -pthread")
  if(CMAKE_DL_LIBS)
    string(APPEND PLEXORA_PC_LIBS " -l${CMAKE_DL_LIBS}")
  endif()
endif()
foreach(kind LIBDIR INCLUDEDIR)
  if(IS_ABSOLUTE "${CMAKE_INSTALL_${kind}}")
    set(PLEXORA_PC_${kind} "${CMAKE_INSTALL_${kind}}")
  else()
    set(PLEXORA_PC_${kind} "\${prefix}/${CMAKE_INSTALL_${kind}}")
  endif()
endforeach()
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(PLEXORA_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
else()
  file(RELATIVE_PATH PLEXORA_PC_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" PLEXORA_PC_PREFIX "${PLEXORA_PC_PREFIX}")
  set(PLEXORA_PC_PREFIX "\${pcfiledir}/${PLEXORA_PC_PREFIX}")
endif()
configure_file(cmake/plexora.pc.in ${PROJECT_BINARY_DIR}/${PLEXORA_PC_NAME}.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/${PLEXORA_PC_NAME}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
