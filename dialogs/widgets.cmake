# The controls of the dialogs, for the desktop program: Qt widgets over the Qt-free models.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
add_library(quadrel_dialog_widgets STATIC
  ${CMAKE_CURRENT_LIST_DIR}/histogram_ctrl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/histogram_ctrl.h
  ${CMAKE_CURRENT_LIST_DIR}/gradient_ctrl.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gradient_ctrl.h
  ${CMAKE_CURRENT_LIST_DIR}/manual_thresholding_dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/manual_thresholding_dialog.h
  ${CMAKE_CURRENT_LIST_DIR}/setup_dialogs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/setup_dialogs.h
)
set_target_properties(quadrel_dialog_widgets PROPERTIES AUTOMOC ON)
target_link_libraries(quadrel_dialog_widgets PUBLIC quadrel_core Qt6::Widgets)

if(QUADREL_BUILD_TESTS)
  add_executable(test_dialog_widgets ${PROJECT_SOURCE_DIR}/tests/dialog_widgets/controls_test.cpp
                                     ${PROJECT_SOURCE_DIR}/tests/dialog_widgets/thresholding_test.cpp
                                     ${PROJECT_SOURCE_DIR}/tests/dialog_widgets/setup_dialogs_test.cpp)
  set_target_properties(test_dialog_widgets PROPERTIES AUTOMOC ON)
  target_link_libraries(test_dialog_widgets PRIVATE quadrel_dialog_widgets Qt6::Test)
  add_test(NAME dialog_widgets COMMAND test_dialog_widgets)
  set_tests_properties(dialog_widgets PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endif()
