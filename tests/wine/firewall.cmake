# The firewall double: an in-process COM server that stands where Windows' firewall would
# (Wine's firewall objects store nothing). Registered in the test prefix for the firewall tests.
add_library(tvfwdouble SHARED ${CMAKE_CURRENT_LIST_DIR}/firewall_double.cpp)
set_target_properties(tvfwdouble PROPERTIES PREFIX "" OUTPUT_NAME tvfwdouble)
target_link_libraries(tvfwdouble PRIVATE ole32 oleaut32 advapi32)
target_link_options(tvfwdouble PRIVATE -Wl,--kill-at)
# The firewall cases initialise COM on the harness thread, as the installer does on its own.
target_link_libraries(harness PRIVATE ole32)
