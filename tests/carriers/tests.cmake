# Carrier tests: the unit tests use the virtual carriers of tools/virtual-token behind a
# fake PC/SC stack; the PKCS#11 tests load a small module of their own; the integration
# tests run against the real pcscd with the vpcd driver.
set(carriers_dir ${CMAKE_CURRENT_LIST_DIR})
file(GLOB carriers_tests CONFIGURE_DEPENDS ${carriers_dir}/*_test.cpp)
foreach(source ${carriers_tests})
  get_filename_component(name ${source} NAME_WE)
  target_link_libraries(carriers_${name} PRIVATE orvane_virtual_card)
endforeach()
