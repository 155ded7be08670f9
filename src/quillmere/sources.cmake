target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/process_owner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/service_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/module.cpp
  ${CMAKE_CURRENT_LIST_DIR}/engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_tools.cpp
  ${CMAKE_CURRENT_LIST_DIR}/handle_scan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/helper_bridge.cpp
  ${CMAKE_CURRENT_LIST_DIR}/targets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/script_calls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/process_details.cpp
  ${CMAKE_CURRENT_LIST_DIR}/closed_record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/search.cpp
  ${CMAKE_CURRENT_LIST_DIR}/silent.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_monitor.cpp
  ${CMAKE_CURRENT_LIST_DIR}/page_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tooltip.cpp
)
target_link_libraries(Tarvolk PRIVATE advapi32 comctl32 version user32 shell32)
