# Quillmere64.dll, the 64-bit companion that the 32-bit plug-in starts through rundll32 on 64-bit
# Windows. Built in the 64-bit cross build from the plug-in's own engine, in UTF-16.
add_library(Quillmere64 SHARED
  ${CMAKE_CURRENT_LIST_DIR}/companion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../quillmere/system/engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../quillmere/system/process_details.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../frame/memory.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../frame/entry.cpp
)
set_target_properties(Quillmere64 PROPERTIES PREFIX "" OUTPUT_NAME Quillmere64)
target_compile_definitions(Quillmere64 PRIVATE TARVOLK_UNICODE WIN32_LEAN_AND_MEAN NOMINMAX)
target_compile_options(Quillmere64 PRIVATE ${TARVOLK_SIZE_OPTIONS})
target_link_options(Quillmere64 PRIVATE ${TARVOLK_LINK_OPTIONS})
target_include_directories(Quillmere64 PRIVATE ${CMAKE_CURRENT_LIST_DIR}/..)
target_link_libraries(Quillmere64 PRIVATE user32 version)
