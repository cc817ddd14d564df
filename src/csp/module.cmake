# The ENGINE API is deprecated in OpenSSL 3 but is the only way to the gost engine's GOST
# signatures; its use is confined to this one file.
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/csp/gost_engine.cpp
  TARGET_DIRECTORY orvane_csp PROPERTIES COMPILE_OPTIONS -Wno-deprecated-declarations)
