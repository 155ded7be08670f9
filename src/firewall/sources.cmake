target_sources(Tarvolk PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/firewall_access.cpp
  ${CMAKE_CURRENT_LIST_DIR}/firewall_exports.cpp
  ${CMAKE_CURRENT_LIST_DIR}/netfw_guids.cpp
)
target_link_libraries(Tarvolk PRIVATE ole32 oleaut32)
