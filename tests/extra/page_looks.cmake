# The page's languages, DPI, contrast and mirroring; it changes the prefix's settings: runs alone.
foreach(variant x86-ansi x86-unicode)
  add_test(NAME gui-looks-${variant} COMMAND ${CMAKE_CURRENT_LIST_DIR}/page-looks ${variant})
  set_tests_properties(gui-looks-${variant} PROPERTIES TIMEOUT 900 LABELS wine RESOURCE_LOCK x-display RUN_SERIAL TRUE)
endforeach()
