# Every third-party library the project links, found once here.
find_package(PkgConfig REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(CURL REQUIRED)
find_package(Threads REQUIRED)
pkg_check_modules(LIBPROXY REQUIRED IMPORTED_TARGET libproxy-1.0)
pkg_check_modules(INIH REQUIRED IMPORTED_TARGET inih)
pkg_check_modules(EXPAT REQUIRED IMPORTED_TARGET expat)
pkg_check_modules(LIBXSLT REQUIRED IMPORTED_TARGET libxslt)
pkg_check_modules(PCSC REQUIRED IMPORTED_TARGET libpcsclite)

# cpp-httplib is a compiled library on Debian (reference request system and tests).
find_library(CPP_HTTPLIB_LIBRARY cpp-httplib)
if(CPP_HTTPLIB_LIBRARY)
  add_library(orvane_httplib INTERFACE)
  target_compile_definitions(orvane_httplib INTERFACE CPPHTTPLIB_OPENSSL_SUPPORT)
  target_link_libraries(orvane_httplib INTERFACE ${CPP_HTTPLIB_LIBRARY} OpenSSL::SSL OpenSSL::Crypto Threads::Threads)
endif()
