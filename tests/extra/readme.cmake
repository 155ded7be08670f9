# Every ```nsis block of README.md, compiled by makensis against dist/Plugins for each variant
# it names (all three when it names none): an export that the DLLs do not have fails the build.
# The README's stack table is compared with the exports of each variant's DLL as well.
foreach(variant ${TARVOLK_VARIANTS})
  add_test(NAME readme-nsis-${variant} COMMAND ${CMAKE_CURRENT_LIST_DIR}/readme-blocks ${variant})
  set_tests_properties(readme-nsis-${variant} PROPERTIES TIMEOUT 300)
endforeach()
