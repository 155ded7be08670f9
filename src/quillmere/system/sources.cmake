# system/: what the machine has. The process engine (processes, their modules, windows, names and
# descriptions), the open-file handle scan, the bridge to the 64-bit companion and its message
# format, the services and the processes they run in, a process's owner and how it was started,
# closing and terminating a process, device-path mapping and the Win32 calls of the build's
# width. Uses frame/ and quillmere/module.h only; no script code runs here.
target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/handle_scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/helper_bridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_control.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_details.cpp
  ${CMAKE_CURRENT_LIST_DIR}/polite_close.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_owner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/service_list.cpp
)
