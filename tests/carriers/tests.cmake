# Carrier tests: the unit tests use the virtual carriers of tools/virtual-token behind a
# fake PC/SC stack; the PKCS#11 tests load a small module of their own; the integration
# tests run against the real pcscd with the vpcd driver.
set(carriers_dir ${CMAKE_CURRENT_LIST_DIR})
file(GLOB carriers_tests CONFIGURE_DEPENDS ${carriers_dir}/*_test.cpp)
foreach(source ${carriers_tests})
  get_filename_component(name ${source} NAME_WE)
  target_link_libraries(carriers_${name} PRIVATE orvane_virtual_card)
endforeach()

# The PKCS#11 test module under the vendors' file names, in a folder of its own that the
# probing tests hand to the module loader. The ESMART name gets a build without
# C_GetFunctionList.
set(p11_dir ${CMAKE_BINARY_DIR}/tests/p11modules)
set(p11_names libeTPkcs11 librtpkcs11ecp libjcPKCS11-2 libisbc_pkcs11_main)
foreach(p11_name ${p11_names})
  set(p11_target orvane_test_p11_${p11_name})
  string(REPLACE "-" "_" p11_target ${p11_target})
  add_library(${p11_target} MODULE ${carriers_dir}/p11/test_module.cpp)
  target_include_directories(${p11_target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
  set_target_properties(${p11_target} PROPERTIES PREFIX "" OUTPUT_NAME ${p11_name}
                        LIBRARY_OUTPUT_DIRECTORY ${p11_dir} CXX_VISIBILITY_PRESET hidden)
  if(NOT p11_name STREQUAL "libisbc_pkcs11_main")
    target_compile_definitions(${p11_target} PRIVATE ORVANE_P11_FUNCTION_LIST)
  endif()
  add_dependencies(carriers_pkcs11_probe_test ${p11_target})
endforeach()
target_compile_definitions(carriers_pkcs11_probe_test PRIVATE ORVANE_TEST_P11_DIR="${p11_dir}")

# Integration through pcscd + vpcd: one executable whose tests share the two vpcd readers,
# so they never run in parallel with each other (a file lock also keeps apart runs from
# different build folders).
add_executable(carriers_pcscd_integration ${carriers_dir}/pcscd_integration.cpp)
target_link_libraries(carriers_pcscd_integration PRIVATE orvane_test_support)
target_compile_definitions(carriers_pcscd_integration PRIVATE
  ORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
  ORVANE_VIRTUAL_TOKEN="$<TARGET_FILE:orvane-virtual-token>")
add_dependencies(carriers_pcscd_integration orvane-virtual-token orvane-tool)
gtest_discover_tests(carriers_pcscd_integration TEST_PREFIX "carriers." DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS "carriers;integration" RESOURCE_LOCK pcscd_vpcd TIMEOUT 120)
