# The desktop program and its tests are declared here.
#
# Everything but main() goes into quadrel_gui, a static library the program and the Qt tests share.

find_package(Qt6 REQUIRED COMPONENTS Widgets PrintSupport DBus Test)
find_package(spdlog REQUIRED)
pkg_check_modules(XLSXWRITER REQUIRED IMPORTED_TARGET xlsxwriter)

add_library(quadrel_gui STATIC
  shell/action_registry.cpp
  shell/command_states.cpp
  shell/bitmap_image.cpp
  shell/image_composite.cpp
  shell/image_view.cpp
  shell/favorites_panel.cpp
  shell/qt_ui_services.cpp
  shell/recent_files.cpp
  shell/main_frame.cpp
  shell/about_dialog.cpp
  shell/quadrel_app.cpp
  shell/registration.cpp
  shell/logging.cpp
  grids/scientific_format.cpp
  grids/grid_model.cpp
  grids/grid_view.cpp
  grids/csv_export.cpp
  grids/xlsx_export.cpp
  grids/grid_printer.cpp
  grids/class_operations.cpp
  grids/feature_grid.cpp
  grids/class_grid.cpp
  grids/statistic_grid.cpp
  properties/property_items.cpp
  properties/property_grid_view.cpp
)
set_target_properties(quadrel_gui PROPERTIES AUTOMOC ON)
target_include_directories(quadrel_gui PUBLIC ${PROJECT_SOURCE_DIR})
target_compile_definitions(quadrel_gui PUBLIC QUADREL_VERSION="${PROJECT_VERSION}" QT_NO_KEYWORDS)
target_link_libraries(quadrel_gui PUBLIC quadrel_core quadrel_dialog_widgets quadrel_automation Qt6::Widgets Qt6::PrintSupport Qt6::DBus PkgConfig::XLSXWRITER
                                         spdlog::spdlog)

add_executable(quadrel shell/main.cpp)
target_link_libraries(quadrel PRIVATE quadrel_gui)

if(QUADREL_BUILD_TESTS)
  enable_testing()
  # Qt Test programs, one per folder, run on the offscreen platform.
  function(quadrel_add_qt_test name)
    add_executable(${name} ${ARGN})
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
    target_link_libraries(${name} PRIVATE quadrel_gui Qt6::Test ZLIB::ZLIB)
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
  endfunction()

  quadrel_add_qt_test(quadrel_grids_test tests/grids/grids_test.cpp tests/shell/qt_fixture.cpp)
  quadrel_add_qt_test(quadrel_properties_test tests/properties/properties_test.cpp tests/shell/qt_fixture.cpp)
  quadrel_add_qt_test(quadrel_shell_test tests/shell/shell_test.cpp tests/shell/qt_fixture.cpp)
endif()
