# Debian packages through CPack (`cpack --config <build>/CPackConfig.cmake`), one per install
# component:
#   orvane          the desktop wizard and orvane-tool, with the desktop entry, the icon, the
#                   AppStream metainfo, a commented configuration example and the maintainer
#                   scripts that put the head-CA roots into the machine "ROOT" store;
#   orvane-testbed  the reference request system and the virtual key carrier, with the
#                   sample seed.
# Install rules without a component belong to "orvane" (CMAKE_INSTALL_DEFAULT_COMPONENT_NAME,
# set before the subdirectories). The files of the packages themselves live in packaging/;
# scripts/package-check builds, checks, installs and purges them.
include(GNUInstallDirs)

set(ORVANE_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(ORVANE_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
set(ORVANE_DEB_RELEASE 1)
set(ORVANE_DEB_VERSION ${PROJECT_VERSION}-${ORVANE_DEB_RELEASE})
set(ORVANE_DEB_MAINTAINER "Talvik Orvane team <orvane@talvik.example>")
set(ORVANE_APPSTREAM_ID example.talvik.orvane)

# The changelog and the release in the metainfo carry the date of the last commit, so that two
# builds of one commit make the same files; outside a work tree, the time of configuration.
execute_process(
  COMMAND git -C ${PROJECT_SOURCE_DIR} log -1 --format=%ct
  OUTPUT_VARIABLE ORVANE_RELEASE_EPOCH
  OUTPUT_STRIP_TRAILING_WHITESPACE
  ERROR_QUIET)
if(NOT ORVANE_RELEASE_EPOCH MATCHES "^[0-9]+$")
  string(TIMESTAMP ORVANE_RELEASE_EPOCH "%s" UTC)
endif()
set(saved_epoch "$ENV{SOURCE_DATE_EPOCH}")
set(ENV{SOURCE_DATE_EPOCH} ${ORVANE_RELEASE_EPOCH})
string(TIMESTAMP ORVANE_RELEASE_DATE "%Y-%m-%d" UTC)
string(TIMESTAMP ORVANE_RELEASE_RFC2822 "%a, %d %b %Y %H:%M:%S +0000" UTC)
set(ENV{SOURCE_DATE_EPOCH} "${saved_epoch}")

configure_file(${ORVANE_PACKAGING_DIR}/changelog.in ${ORVANE_PACKAGING_OUT}/changelog.Debian @ONLY)
configure_file(${ORVANE_PACKAGING_DIR}/orvane.conf.example.in ${ORVANE_PACKAGING_OUT}/orvane.conf.example @ONLY)
configure_file(${ORVANE_PACKAGING_DIR}/${ORVANE_APPSTREAM_ID}.metainfo.xml.in
               ${ORVANE_PACKAGING_OUT}/${ORVANE_APPSTREAM_ID}.metainfo.xml @ONLY)

# Debian wants the changelog and the manual pages compressed at the highest level, without a
# name or a time stamp in the gzip header.
find_program(ORVANE_GZIP gzip REQUIRED)
function(orvane_gzip input output)
  get_filename_component(dir ${output} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  execute_process(COMMAND ${ORVANE_GZIP} -9nc ${input} OUTPUT_FILE ${output} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${input}: ${status}")
  endif()
  set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
endfunction()

orvane_gzip(${ORVANE_PACKAGING_OUT}/changelog.Debian ${ORVANE_PACKAGING_OUT}/changelog.Debian.gz)
set(orvane_man_pages orvane orvane-tool)
set(testbed_man_pages orvane-request-system orvane-virtual-token)
foreach(page ${orvane_man_pages} ${testbed_man_pages})
  orvane_gzip(${ORVANE_PACKAGING_DIR}/man/${page}.1 ${ORVANE_PACKAGING_OUT}/man/${page}.1.gz)
endforeach()

# Package "orvane": the programs (orvane-tool here, the wizard in src/gui) and its files.
install(TARGETS orvane-tool RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT orvane)
install(FILES ${ORVANE_PACKAGING_OUT}/${ORVANE_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT orvane)
install(FILES ${ORVANE_PACKAGING_OUT}/orvane.conf.example DESTINATION /etc/orvane COMPONENT orvane)
list(TRANSFORM orvane_man_pages PREPEND ${ORVANE_PACKAGING_OUT}/man/ OUTPUT_VARIABLE files)
list(TRANSFORM files APPEND .1.gz)
install(FILES ${files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT orvane)
install(FILES ${ORVANE_PACKAGING_DIR}/copyright ${ORVANE_PACKAGING_OUT}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvane COMPONENT orvane)
install(FILES ${ORVANE_PACKAGING_DIR}/orvane/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
        RENAME orvane COMPONENT orvane)

# Package "orvane-testbed": the peers of the demo and the integration tests.
install(TARGETS orvane-request-system orvane-virtual-token RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT testbed)
install(FILES ${PROJECT_SOURCE_DIR}/tools/request-system/sample-seed.ini
        DESTINATION ${CMAKE_INSTALL_DATADIR}/orvane-testbed COMPONENT testbed)
list(TRANSFORM testbed_man_pages PREPEND ${ORVANE_PACKAGING_OUT}/man/ OUTPUT_VARIABLE files)
list(TRANSFORM files APPEND .1.gz)
install(FILES ${files} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT testbed)
install(FILES ${ORVANE_PACKAGING_DIR}/copyright ${ORVANE_PACKAGING_OUT}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/orvane-testbed COMPONENT testbed)
install(FILES ${ORVANE_PACKAGING_DIR}/orvane-testbed/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME orvane-testbed COMPONENT testbed)

# CPack.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane)
set(CPACK_PACKAGE_VENDOR Talvik)
set(CPACK_PACKAGE_CONTACT "${ORVANE_DEB_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL "${ORVANE_DEFAULT_DOWNLOAD_SITE}")
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# packaging/strip.cmake strips the staged programs (CPACK_STRIP_FILES would keep .comment).
set(CPACK_PRE_BUILD_SCRIPTS ${ORVANE_PACKAGING_DIR}/strip.cmake)
set(CPACK_ORVANE_STRIP ${CMAKE_STRIP})
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                                WORLD_READ WORLD_EXECUTE)
set(CPACK_COMPONENTS_ALL orvane testbed)
set(CPACK_DEB_COMPONENT_INSTALL ON)

set(CPACK_DEBIAN_PACKAGE_RELEASE ${ORVANE_DEB_RELEASE})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE orvane)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_DEBIAN_ORVANE_PACKAGE_NAME orvane)
set(CPACK_DEBIAN_ORVANE_PACKAGE_SECTION utils)
# Beyond the linked libraries: the PC/SC daemon for the key carriers, the gost engine that
# OpenSSL loads for the GOST algorithms, and a Qt platform plugin (libqt6gui6 only recommends
# one). The toolkit's Russian translations are loaded when present.
set(CPACK_DEBIAN_ORVANE_PACKAGE_DEPENDS "pcscd, libengine-gost-openssl, qt6-qpa-plugins")
set(CPACK_DEBIAN_ORVANE_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_DEBIAN_ORVANE_PACKAGE_CONTROL_EXTRA
    ${ORVANE_PACKAGING_DIR}/orvane/conffiles ${ORVANE_PACKAGING_DIR}/orvane/postinst
    ${ORVANE_PACKAGING_DIR}/orvane/postrm)
set(CPACK_COMPONENT_ORVANE_DESCRIPTION
    "wizard for obtaining a GOST electronic-signature certificate
Orvane guides a subscriber of a certification authority through obtaining a
GOST electronic-signature certificate. From the access token issued by the
authority it reads the application, generates the key pair on a USB token or
smart card, builds the PKCS#10 request and prints the request form, which the
subscriber confirms with a code sent by SMS. Once the certificate is issued,
the wizard fetches it, writes it into the key container and installs it in the
user's certificate store.

An operator of the authority can confirm requests with an operator
certificate instead of the SMS code. Diagnostics report the operating system
and the GOST cryptographic provider and check name resolution, the proxy and
the connection to the authority's hosts.

The package also ships orvane-tool, the command-line front for support and
scripting, and installs the two head-CA root certificates into the machine
certificate store.")

set(CPACK_DEBIAN_TESTBED_PACKAGE_NAME orvane-testbed)
set(CPACK_DEBIAN_TESTBED_PACKAGE_SECTION devel)
# The test CA signs with the gost engine; the virtual carriers appear in pcscd's vpcd readers.
set(CPACK_DEBIAN_TESTBED_PACKAGE_DEPENDS "pcscd, vsmartcard-vpcd, libengine-gost-openssl")
set(CPACK_COMPONENT_TESTBED_DESCRIPTION
    "reference request system and virtual key carriers for Orvane
Test peers for integrators of the Orvane certificate wizard:
 * orvane-request-system, a reference request system with its authentication
   host and a GOST test certification authority, listening on loopback and
   seeded with applications and operators from an INI file (a sample is in
   /usr/share/orvane-testbed/sample-seed.ini);
 * orvane-virtual-token, a virtual USB token or smart card in a reader of
   pcscd's vpcd driver.
They are meant for tests and demonstrations, not for production use.")

include(CPack)
