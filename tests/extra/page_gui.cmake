# The running-programs page in real wizards under Xvfb, driven with xdotool: the ANSI variant in
# the classic interface, the Unicode variant in the Modern UI. The tests share one X display and
# pointer (and the clipboard), so they take turns. Their searches read the system's handle table,
# which under Wine 8 can take down a process (or the prefix's server) while other processes start
# and end: they run alone, as the handle scan's other tests do.
add_test(NAME gui-page-x86-ansi COMMAND ${CMAKE_CURRENT_LIST_DIR}/page-gui x86-ansi classic)
add_test(NAME gui-page-x86-unicode COMMAND ${CMAKE_CURRENT_LIST_DIR}/page-gui x86-unicode mui)
set_tests_properties(gui-page-x86-ansi gui-page-x86-unicode PROPERTIES TIMEOUT 300 LABELS wine RESOURCE_LOCK x-display RUN_SERIAL TRUE)
