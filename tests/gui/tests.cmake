# GUI tests: the Qt classes on the offscreen platform, carriers from the fake PC/SC stack.
if(TARGET orvane_gui)
  target_link_libraries(gui_main_dialog_test PRIVATE orvane_gui orvane_virtual_card)
  target_include_directories(gui_main_dialog_test PRIVATE ${CMAKE_CURRENT_LIST_DIR}/../carriers)
endif()
