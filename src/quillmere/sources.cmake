target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/process_owner.cpp
)
target_link_libraries(Tarvolk PRIVATE advapi32)
