target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/process_owner.cpp
  ${CMAKE_CURRENT_LIST_DIR}/service_list.cpp
)
target_link_libraries(Tarvolk PRIVATE advapi32 comctl32)
