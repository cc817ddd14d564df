# Flow tests run against the reference request system in process.
target_link_libraries(wizard_create_request_test PRIVATE orvane_request_system_lib)
