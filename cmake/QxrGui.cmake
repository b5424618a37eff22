# The Qt 6 Widgets layer. Only the GUI programs (Reeldeck's window, Ocuview's widget and host) link Qt;
# every core library stays Qt-free and is tested headless.
#
#   qxr_gui_target(<target>)   moc/rcc/uic on, Qt6 Widgets linked, the tree's warnings applied
#   qxr_add_gui_test(<name> SOURCES <files...> [LIBS <targets...>] [LABELS <labels...>] [TIMEOUT <s>])
#                              a GoogleTest program whose main() runs the tests inside a QApplication on
#                              Qt's offscreen platform (no display needed, also under the sanitizers)

set(QXR_QT_COMPONENTS Core Gui Widgets Network Svg)
set(QXR_QT_TEST_COMPONENTS Test)  # QSignalSpy and the input helpers of the GUI tests
find_package(Qt6 6.2 REQUIRED COMPONENTS ${QXR_QT_COMPONENTS} ${QXR_QT_TEST_COMPONENTS})

function(qxr_gui_target target)
  set_target_properties(${target} PROPERTIES AUTOMOC ON AUTORCC ON AUTOUIC ON)
  target_link_libraries(${target} PRIVATE qxr_warnings)
  foreach(component IN LISTS QXR_QT_COMPONENTS)
    target_link_libraries(${target} PUBLIC Qt6::${component})
  endforeach()
  # Qt's headers are system headers; moc's output is ours to compile, and clean under the warnings.
  target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS QT_NO_CAST_FROM_BYTEARRAY)
endfunction()

# Suppressions for leaks that belong to the system libraries under Qt (font configuration caches that
# live until exit); ours are still reported.
set(QXR_GUI_LSAN_SUPPRESSIONS ${CMAKE_CURRENT_LIST_DIR}/gui-lsan.supp)

function(qxr_add_gui_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT TARGET qxr_gui_test_main)
    add_library(qxr_gui_test_main STATIC ${PROJECT_SOURCE_DIR}/cmake/gui_test_main.cpp)
    qxr_gui_target(qxr_gui_test_main)
    target_link_libraries(qxr_gui_test_main PUBLIC GTest::gtest Qt6::Test)
  endif()
  add_executable(${name} ${ARG_SOURCES})
  qxr_gui_target(${name})
  target_link_libraries(${name} PRIVATE qxr_gui_test_main ${ARG_LIBS})
  target_compile_definitions(${name} PRIVATE
    QXR_SOURCE_DIR="${PROJECT_SOURCE_DIR}" QXR_BINARY_DIR="${PROJECT_BINARY_DIR}")
  add_test(NAME ${name} COMMAND ${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # Settings and state (recent files, report logs) go to the build tree, never to the user's home.
  set(home ${CMAKE_CURRENT_BINARY_DIR}/${name}_home)
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} LABELS "gui;${ARG_LABELS}"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LSAN_OPTIONS=suppressions=${QXR_GUI_LSAN_SUPPRESSIONS};\
XDG_CONFIG_HOME=${home}/config;XDG_STATE_HOME=${home}/state")
endfunction()
