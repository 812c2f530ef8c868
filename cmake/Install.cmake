# What goes on the switch, and what a sibling page's build takes.
#   pages:       the page programs, their templates and static files, under
#                the web root
#   stand-ins:   only with WEBCGI_INSTALL_STAND_INS: the simulated IMI daemon,
#                imish and published files, the login and error pages
#   development: the helper library, its headers and the CMake package
#                config, under the prefix: find_package(webcgi)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# Relative to the install prefix unless absolute, so that a plain install
# stays inside its prefix. The switch's web root is /var/www: a firmware
# build says so (-DWEBCGI_WEB_ROOT=/var/www) and stages it with DESTDIR.
# A STRING, not a PATH: CMake would make a relative PATH given with -D
# absolute against the working directory.
set(WEBCGI_WEB_ROOT var/www CACHE STRING
  "The web server's document root: relative to the install prefix, or absolute (/var/www on the switch)")
option(WEBCGI_INSTALL_STAND_INS "Install the stand-ins for the switch's own programs too" OFF)

install(TARGETS web_mac_static_add web_mac_static RUNTIME DESTINATION ${WEBCGI_WEB_ROOT}
  COMPONENT pages)
file(GLOB page_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/www/*.cs ${PROJECT_SOURCE_DIR}/www/*.css
  ${PROJECT_SOURCE_DIR}/www/*.js)
install(FILES ${page_files} DESTINATION ${WEBCGI_WEB_ROOT} COMPONENT pages)

if(WEBCGI_INSTALL_STAND_INS)
  install(TARGETS imi_sim imish switch_publish RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT stand-ins)
  install(TARGETS web_login web_error RUNTIME DESTINATION ${WEBCGI_WEB_ROOT} COMPONENT stand-ins)
  file(GLOB sibling_files CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/sim/pages/*.cs
    ${PROJECT_SOURCE_DIR}/sim/pages/*.html)
  install(FILES ${sibling_files} DESTINATION ${WEBCGI_WEB_ROOT} COMPONENT stand-ins)
endif()

# The library with the ClearSilver link it needs, as webcgi::webcgi,
# webcgi::webcgi_md5 and webcgi::clearsilver. Every path in the package is
# relative to where it lies; ClearSilver and zlib are found again where the
# package is used (webcgiClearSilver.cmake, installed beside the config).
set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/webcgi)
install(TARGETS webcgi webcgi_md5 clearsilver EXPORT webcgiTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/webcgi)
file(GLOB library_headers CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/cgi/*.h)
install(FILES ${library_headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/webcgi
  COMPONENT development)
install(EXPORT webcgiTargets NAMESPACE webcgi:: DESTINATION ${config_dir} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/webcgiConfig.cmake.in
  ${PROJECT_BINARY_DIR}/webcgiConfig.cmake INSTALL_DESTINATION ${config_dir})
install(FILES ${PROJECT_BINARY_DIR}/webcgiConfig.cmake ${CMAKE_CURRENT_LIST_DIR}/webcgiClearSilver.cmake
  DESTINATION ${config_dir} COMPONENT development)
