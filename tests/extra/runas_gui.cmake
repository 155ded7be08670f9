# The run-as page in a real wizard under Xvfb; one display and pointer, so they take turns.
foreach(variant x86-ansi x86-unicode)
  add_test(NAME gui-runas-${variant} COMMAND ${CMAKE_CURRENT_LIST_DIR}/runas-gui ${variant})
  set_tests_properties(gui-runas-${variant} PROPERTIES TIMEOUT 300 LABELS wine RESOURCE_LOCK x-display)
endforeach()
