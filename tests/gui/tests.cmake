# GUI tests: the Qt classes on the offscreen platform, carriers from the fake PC/SC stack.
if(TARGET orvane_gui)
  target_link_libraries(gui_main_dialog_test PRIVATE orvane_gui orvane_virtual_card)
  target_include_directories(gui_main_dialog_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../carriers)
endif()

# The window through the real pcscd + vpcd with orvane-virtual-token (shares the vpcd readers
# with the carrier integration tests, hence the resource lock).
if(TARGET orvane_gui)
  add_executable(gui_pcscd_window ${CMAKE_CURRENT_LIST_DIR}/pcscd_window.cpp)
  target_link_libraries(gui_pcscd_window PRIVATE orvane_test_support orvane_gui)
  target_include_directories(gui_pcscd_window PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../carriers)
  target_compile_definitions(gui_pcscd_window PRIVATE ORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                             ORVANE_VIRTUAL_TOKEN="$<TARGET_FILE:orvane-virtual-token>")
  add_dependencies(gui_pcscd_window orvane-virtual-token)
  gtest_discover_tests(gui_pcscd_window TEST_PREFIX "gui." DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "gui;integration" RESOURCE_LOCK pcscd_vpcd TIMEOUT 120
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()

# The program as COrvaneApp builds it, against the reference request system.
if(TARGET orvane_gui)
  target_link_libraries(gui_app_test PRIVATE orvane_gui orvane_virtual_card orvane_request_system_lib)
  target_include_directories(gui_app_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../carriers)
endif()

# The request-data, SMS-code and auto-enrolment dialogs; the re-request against the reference
# request system.
if(TARGET orvane_gui)
  target_link_libraries(gui_dialogs_test PRIVATE orvane_gui orvane_request_system_lib)
endif()

# The form preview dialog.
if(TARGET orvane_gui)
  target_link_libraries(gui_doc_dlg_test PRIVATE orvane_gui)
endif()

# The certificate viewer.
if(TARGET orvane_gui)
  target_link_libraries(gui_cert_viewer_test PRIVATE orvane_gui)
endif()

# The operator-certificate settings dialog and the certificate choice.
if(TARGET orvane_gui)
  target_link_libraries(gui_agent_cert_dlg_test PRIVATE orvane_gui)
endif()
