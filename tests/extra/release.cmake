# The release archive unpacked into a tree of its own, an example built and run there.
add_test(NAME release-archive COMMAND ${CMAKE_CURRENT_LIST_DIR}/release-archive x86-unicode)
set_tests_properties(release-archive PROPERTIES TIMEOUT 300 LABELS wine)
