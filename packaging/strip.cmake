# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the staged files before they are packed: strips
# every ELF file as Debian's packaging helpers do, the symbols and also the .comment and .note
# sections, which carry nothing the installed programs need.
file(GLOB_RECURSE staged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(path ${staged})
  if(IS_SYMLINK ${path})
    continue()
  endif()
  file(READ ${path} magic LIMIT 4 HEX)
  if(NOT magic STREQUAL "7f454c46")
    continue()
  endif()
  execute_process(COMMAND ${CPACK_ORVANE_STRIP} --remove-section=.comment --remove-section=.note ${path}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "strip ${path}: ${status}")
  endif()
endforeach()
