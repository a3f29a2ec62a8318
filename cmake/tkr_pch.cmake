# Precompiled headers: the Qt headers take most of each Qt file's parse, so each kind of
# target (Qt Core, Qt Widgets) reuses one header compiled once per build. A header compiled
# with a macro on the command line is only valid where that macro is defined the same way, so
# each kind is compiled in a target of its own that links no more than every user of it
# links; a user may define more (QT_SERIALPORT_LIB, GTEST_HAS_PTHREAD) as long as the header
# never names it. Where a header is not valid, -Winvalid-pch (which CMake adds) turns into an
# error.
option(TKR_PCH "Precompile the Qt headers where the compiler keeps them sound" ON)
# GCC before 13 leaves the headers' diagnostic pragmas out of a precompiled header, so in an
# optimised build the -Warray-bounds false positives on std::string that libstdc++ silences
# come back, as errors; without optimisation that warning does not run.
set(tkr_pch_sound ON)
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13
   AND NOT CMAKE_BUILD_TYPE MATCHES "^(Debug)?$")
  set(tkr_pch_sound OFF)
endif()

set(tkr_pch_std <algorithm> <array> <chrono> <deque> <functional> <map> <memory> <optional>
    <string> <string_view> <vector>)
set(tkr_pch_qt_core ${tkr_pch_std} <QByteArray> <QCoreApplication> <QMetaObject> <QObject>
    <QPointer> <QString> <QTimer>)
set(tkr_pch_qt_widgets ${tkr_pch_qt_core} <QAbstractButton> <QApplication> <QCheckBox>
    <QComboBox> <QDialog> <QEvent> <QGroupBox> <QKeyEvent> <QLabel> <QLineEdit>
    <QPlainTextEdit> <QPushButton> <QRadioButton> <QWidget>)
set(tkr_pch_links_qt_core Qt6::Core)
set(tkr_pch_links_qt_widgets Qt6::Widgets)
# GoogleTest is left out: a header of its own costs about what it saves in the few test files,
# and within the Qt kinds it would need GTEST_HAS_PTHREAD defined alike in all their users.

# tkr_precompiled(<kind> <target>...): kind is qt_core or qt_widgets, and each target links at
# least what that kind names.
function(tkr_precompiled kind)
  if(NOT TKR_PCH OR NOT tkr_pch_sound)
    return()
  endif()
  if(NOT DEFINED tkr_pch_links_${kind})
    message(FATAL_ERROR "tkr_precompiled: no kind ${kind}")
  endif()
  set(owner tkr_pch_${kind})
  if(NOT TARGET ${owner})
    set(source ${CMAKE_BINARY_DIR}/pch/${kind}.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// Only the precompiled header of its kind.\n")
    add_library(${owner} OBJECT ${source})
    target_link_libraries(${owner} PRIVATE ${tkr_pch_links_${kind}})
    target_precompile_headers(${owner} PRIVATE ${tkr_pch_${kind}})
    set_target_properties(${owner} PROPERTIES AUTOMOC OFF)
  endif()
  foreach(target ${ARGN})
    target_precompile_headers(${target} REUSE_FROM ${owner})
  endforeach()
endfunction()
