# Programs for the process tests: a victim with a version record, the same without one, and a
# DLL in a folder of its own that victims load. They are windows programs: a console program that
# an installer starts gets a console window of its own under Wine, which pops up over the wizards
# that the GUI tests drive, takes the focus from their fields and the clicks meant for them.
add_executable(tvvictim WIN32 ${CMAKE_CURRENT_LIST_DIR}/tvvictim.c ${CMAKE_CURRENT_LIST_DIR}/tvvictim.rc)
target_link_libraries(tvvictim PRIVATE user32)
# The same with the file description "MyApp", for the README's picture (scripts/pictures).
add_executable(tvvictim_myapp WIN32 ${CMAKE_CURRENT_LIST_DIR}/tvvictim.c ${CMAKE_CURRENT_LIST_DIR}/tvvictim_myapp.rc)
target_link_libraries(tvvictim_myapp PRIVATE user32)
add_executable(tvvictim_plain WIN32 ${CMAKE_CURRENT_LIST_DIR}/tvvictim.c)
target_link_libraries(tvvictim_plain PRIVATE user32)
add_library(tvmod SHARED ${CMAKE_CURRENT_LIST_DIR}/tvmod.c)
set_target_properties(tvmod PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/mods)
