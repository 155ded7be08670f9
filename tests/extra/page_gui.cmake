# The page in real wizards (ANSI classic, Unicode MUI). They share one display and pointer, and
# their handle scans can take down processes under Wine 8: they run alone.
add_test(NAME gui-page-x86-ansi COMMAND ${CMAKE_CURRENT_LIST_DIR}/page-gui x86-ansi classic)
add_test(NAME gui-page-x86-unicode COMMAND ${CMAKE_CURRENT_LIST_DIR}/page-gui x86-unicode mui)
set_tests_properties(gui-page-x86-ansi gui-page-x86-unicode PROPERTIES TIMEOUT 300 LABELS wine RESOURCE_LOCK x-display RUN_SERIAL TRUE)
