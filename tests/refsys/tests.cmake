# The reference request system's own tests link its library.
target_link_libraries(refsys_reference_system_test PRIVATE orvane_request_system_lib)
