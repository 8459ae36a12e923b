# The application icon: one scalable source (packaging/icons/markwell.svg) rendered at build time
# into the PNG sizes desktop environments ask for. The PNGs are compiled into the program as Qt
# resources (":/icons/markwell-SIZE.png") and installed into the hicolor icon theme.

set(MARKWELL_ICON_SVG ${PROJECT_SOURCE_DIR}/packaging/icons/markwell.svg)
set(MARKWELL_ICON_SIZES 16 24 32 48 64 128 256)
set(MARKWELL_ICON_DIR ${PROJECT_BINARY_DIR}/icons)

find_package(Qt6 REQUIRED COMPONENTS Svg)

if(NOT TARGET markwell-iconrender)
    add_executable(markwell-iconrender ${PROJECT_SOURCE_DIR}/packaging/icons/RenderIcon.cpp)
    target_link_libraries(markwell-iconrender PRIVATE Qt6::Svg Qt6::Gui)
    markwell_warnings(markwell-iconrender)
endif()

# markwell_icon_resources(TARGET): renders the PNGs and compiles them into TARGET.
function(markwell_icon_resources target)
    set(pngs)
    foreach(size IN LISTS MARKWELL_ICON_SIZES)
        list(APPEND pngs ${MARKWELL_ICON_DIR}/markwell-${size}.png)
    endforeach()
    # The renderer is a build tool: leak reports from the sanitizer build must not fail the build.
    add_custom_command(
        OUTPUT ${pngs}
        COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=offscreen
                $<TARGET_FILE:markwell-iconrender> ${MARKWELL_ICON_SVG} ${MARKWELL_ICON_DIR} ${MARKWELL_ICON_SIZES}
        DEPENDS markwell-iconrender ${MARKWELL_ICON_SVG}
        COMMENT "Rendering the application icon"
        VERBATIM)
    add_custom_target(${target}_icons DEPENDS ${pngs})
    add_dependencies(${target} ${target}_icons)
    qt_add_resources(${target} markwell_icons PREFIX "/icons" BASE ${MARKWELL_ICON_DIR} FILES ${pngs})
endfunction()
