# The stimulus window and the preparation sheet: the only widgets of the administration.
add_library(vigix_screen STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/Screen.cpp ${CMAKE_CURRENT_SOURCE_DIR}/Screen.h
    ${CMAKE_CURRENT_SOURCE_DIR}/Step0.cpp ${CMAKE_CURRENT_SOURCE_DIR}/Step0.h
)
target_include_directories(vigix_screen PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vigix_screen PUBLIC vigix_core Qt6::Widgets)
