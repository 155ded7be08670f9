# Programs for the process tests: a victim with a version record, the same without one, and a
# DLL in a folder of its own that victims load.
add_executable(tvvictim ${CMAKE_CURRENT_LIST_DIR}/tvvictim.c ${CMAKE_CURRENT_LIST_DIR}/tvvictim.rc)
target_link_libraries(tvvictim PRIVATE user32)
# The same without a console, for the wizards that the GUI tests drive.
add_executable(tvvictim_gui WIN32 ${CMAKE_CURRENT_LIST_DIR}/tvvictim.c ${CMAKE_CURRENT_LIST_DIR}/tvvictim.rc)
target_link_libraries(tvvictim_gui PRIVATE user32)
# The same with the file description "MyApp", for the README's picture (scripts/pictures).
add_executable(tvvictim_myapp WIN32 ${CMAKE_CURRENT_LIST_DIR}/tvvictim.c ${CMAKE_CURRENT_LIST_DIR}/tvvictim_myapp.rc)
target_link_libraries(tvvictim_myapp PRIVATE user32)
add_executable(tvvictim_plain ${CMAKE_CURRENT_LIST_DIR}/tvvictim.c)
target_link_libraries(tvvictim_plain PRIVATE user32)
add_library(tvmod SHARED ${CMAKE_CURRENT_LIST_DIR}/tvmod.c)
set_target_properties(tvmod PROPERTIES PREFIX "" RUNTIME_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/mods)
