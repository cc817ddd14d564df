# The wizard's roads through the real window: COrvaneApp against the reference request system
# in-process, a virtual token behind the real pcscd + vpcd (shares the vpcd readers with the
# carrier integration tests, hence the resource lock), orvane-tool for the set-up steps a
# user or an administrator does outside the window. Screenshots go to <build>/artefacts/e2e/.
if(TARGET orvane_gui)
  find_package(Qt6 COMPONENTS Test REQUIRED)
  add_executable(e2e_wizard_roads ${CMAKE_CURRENT_LIST_DIR}/wizard_roads.cpp)
  target_link_libraries(e2e_wizard_roads PRIVATE orvane_test_support orvane_gui orvane_request_system_lib Qt6::Test)
  target_include_directories(e2e_wizard_roads PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../carriers)
  target_compile_definitions(e2e_wizard_roads PRIVATE ORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                             ORVANE_VIRTUAL_TOKEN="$<TARGET_FILE:orvane-virtual-token>"
                             ORVANE_TOOL="$<TARGET_FILE:orvane-tool>")
  add_dependencies(e2e_wizard_roads orvane-virtual-token orvane-tool)
  gtest_discover_tests(e2e_wizard_roads TEST_PREFIX "e2e." DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "e2e;integration" RESOURCE_LOCK pcscd_vpcd TIMEOUT 300
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
