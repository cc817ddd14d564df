# The form stylesheets are kept in UTF-8 under resources/forms and compiled into the program
# as windows-1251 documents by a small host tool.
add_executable(orvane-embed-stylesheet ${CMAKE_CURRENT_SOURCE_DIR}/render/embed/embed_stylesheet.cpp)
target_link_libraries(orvane-embed-stylesheet PRIVATE orvane_text)

set(ORVANE_FORM_STYLESHEETS ${PROJECT_SOURCE_DIR}/resources/forms/request.xsl
                            ${PROJECT_SOURCE_DIR}/resources/forms/certificate.xsl)
set(ORVANE_STYLESHEETS_CPP ${ORVANE_GENERATED}/render/stylesheets_data.cpp)
add_custom_command(
  OUTPUT ${ORVANE_STYLESHEETS_CPP}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${ORVANE_GENERATED}/render
  COMMAND orvane-embed-stylesheet ${ORVANE_STYLESHEETS_CPP}
          RequestStylesheet ${PROJECT_SOURCE_DIR}/resources/forms/request.xsl
          CertificateStylesheet ${PROJECT_SOURCE_DIR}/resources/forms/certificate.xsl
  DEPENDS orvane-embed-stylesheet ${ORVANE_FORM_STYLESHEETS}
  COMMENT "Embedding the form stylesheets"
  VERBATIM)
target_sources(orvane_render PRIVATE ${ORVANE_STYLESHEETS_CPP})
