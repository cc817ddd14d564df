# Integration tests run the reference request system in-process on a loopback port.
target_link_libraries(integration_request_system_test PRIVATE orvane_request_system_lib)
