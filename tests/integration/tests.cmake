# Integration tests run the reference request system in-process on a loopback port.
target_link_libraries(integration_request_system_test PRIVATE orvane_request_system_lib)

add_test(NAME integration.cli COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/integration/cli_test.sh
         ${CMAKE_BINARY_DIR} ${CMAKE_SOURCE_DIR})
set_tests_properties(integration.cli PROPERTIES LABELS integration TIMEOUT 120)
