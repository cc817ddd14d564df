# The build enforces the module layering: a file of a low module that includes a header of
# a module above it does not compile. The probe targets are built by ctest, never by "all";
# the first must fail, the second (a downward include) must build, so the failure is the
# include's and not the probe's.
set(layering_dir ${CMAKE_CURRENT_LIST_DIR})
add_library(layering_upward_probe OBJECT EXCLUDE_FROM_ALL ${layering_dir}/probe/upward.cpp)
target_link_libraries(layering_upward_probe PRIVATE orvane_text)
add_library(layering_downward_probe OBJECT EXCLUDE_FROM_ALL ${layering_dir}/probe/downward.cpp)
target_link_libraries(layering_downward_probe PRIVATE orvane_net)
add_test(NAME layering.UpwardIncludeFailsToBuild
         COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target layering_upward_probe)
set_tests_properties(layering.UpwardIncludeFailsToBuild PROPERTIES WILL_FAIL TRUE LABELS layering RESOURCE_LOCK build_tree)
add_test(NAME layering.DownwardIncludeBuilds
         COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target layering_downward_probe)
set_tests_properties(layering.DownwardIncludeBuilds PROPERTIES LABELS layering RESOURCE_LOCK build_tree)
