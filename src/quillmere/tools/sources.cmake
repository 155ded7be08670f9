# tools/: the process tools, exports of their own (EnumProcesses, FindProcess, CloseProcess,
# KillProcesses, IsFileLocked). Uses system/ only.
target_sources(Tarvolk PRIVATE ${CMAKE_CURRENT_LIST_DIR}/process_tools.cpp)
