target_sources(Tarvolk PRIVATE ${CMAKE_CURRENT_LIST_DIR}/dllmain.cpp ${CMAKE_CURRENT_LIST_DIR}/memory.cpp ${CMAKE_CURRENT_LIST_DIR}/entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/wide.cpp ${CMAKE_CURRENT_LIST_DIR}/wait.cpp)
