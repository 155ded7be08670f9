# The running-programs page in every language of Tarvolk.nsh, at high DPI, in high-contrast colours
# and right to left, in real Modern UI wizards under Xvfb. It changes the prefix's DPI and colours
# while it runs, for every program started meanwhile: it runs alone.
foreach(variant x86-ansi x86-unicode)
  add_test(NAME gui-looks-${variant} COMMAND ${CMAKE_CURRENT_LIST_DIR}/page-looks ${variant})
  set_tests_properties(gui-looks-${variant} PROPERTIES TIMEOUT 900 LABELS wine RESOURCE_LOCK x-display RUN_SERIAL TRUE)
endforeach()
