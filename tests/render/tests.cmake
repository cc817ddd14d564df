# The form tests parse the produced HTML with libxml2's HTML parser.
foreach(target render_forms_test render_document_text_test)
  if(TARGET ${target})
    target_link_libraries(${target} PRIVATE PkgConfig::LIBXSLT)
  endif()
endforeach()
