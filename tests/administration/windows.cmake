vigix_add_test(tst_screen tst_screen.cpp)
target_link_libraries(tst_screen PRIVATE vigix_screen)
vigix_add_test(tst_step0 tst_step0.cpp)
target_link_libraries(tst_step0 PRIVATE vigix_screen)
