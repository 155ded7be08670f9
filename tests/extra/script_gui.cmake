# Script functions on the installer's thread in real wizards; one display, so they take turns.
foreach(variant x86-ansi x86-unicode amd64-unicode)
  add_test(NAME gui-script-${variant} COMMAND ${CMAKE_CURRENT_LIST_DIR}/script-gui ${variant})
  set_tests_properties(gui-script-${variant} PROPERTIES TIMEOUT 300 LABELS wine RESOURCE_LOCK x-display)
endforeach()
