# The bar's data and layout: plain code, built on every platform so the native
# suite tests it. Included from more than one place, defined once.
include_guard(GLOBAL)
add_library(setup_bar_geometry STATIC ${CMAKE_CURRENT_LIST_DIR}/BarGeometry.cpp)
# The folder above holds the shared geometry/Rect.h.
target_include_directories(setup_bar_geometry PUBLIC ${CMAKE_CURRENT_LIST_DIR}
                                                     ${CMAKE_CURRENT_LIST_DIR}/..)
