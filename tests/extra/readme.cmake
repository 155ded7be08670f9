# The README's nsis blocks compiled per variant, and its stack table against the DLLs' exports.
foreach(variant ${TARVOLK_VARIANTS})
  add_test(NAME readme-nsis-${variant} COMMAND ${CMAKE_CURRENT_LIST_DIR}/readme-blocks ${variant})
  set_tests_properties(readme-nsis-${variant} PROPERTIES TIMEOUT 300)
endforeach()
