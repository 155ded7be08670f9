# search/: what a search looks for and how it runs. The targets and their Add* exports, the run
# over every pass with its matching, the program found and how it is reported, the script calls
# that a search thread has the installer's thread make, silent mode (SilentSearch, SilentWait,
# SilentPercentComplete, "autoclose") and the record of what the plug-in ended with its two
# exports. Uses system/ (and the run-as start of runas/start.h to start programs again).
target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/targets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_calls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/silent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/closed_record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/close_program.cpp
)
