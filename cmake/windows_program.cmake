# The resources every Windows executable of the project carries: the shield icon (16 to 256 pixels,
# 32-bit with alpha), a version resource (product, description, the project's one version,
# copyright) and a manifest (common controls of version 6, DPI awareness, and the rights the
# program asks for at start).
#
#   talvrin_windows_program(TARGET DESCRIPTION "..." LEVEL asInvoker|requireAdministrator [NO_ICON])
#
# NO_ICON: the target's own resource script already holds the icon as its first (talvrin.exe).
set(TALVRIN_PROGRAM_ICON ${CMAKE_SOURCE_DIR}/resources/program.ico)
set(TALVRIN_COPYRIGHT "Copyright (C) 2026 Talvrin developers")

function(talvrin_windows_program target)
    cmake_parse_arguments(P "NO_ICON" "DESCRIPTION;LEVEL" "" ${ARGN})
    get_target_property(program_name ${target} OUTPUT_NAME)
    if(NOT program_name)
        set(program_name ${target})
    endif()
    set(program_file ${program_name}.exe)
    set(program_description "${P_DESCRIPTION}")
    set(program_execution_level ${P_LEVEL})
    set(program_copyright "${TALVRIN_COPYRIGHT}")
    string(REGEX REPLACE "[^A-Za-z0-9]" "." program_identity "${program_name}")
    set(program_version "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0")
    string(REPLACE "." "," program_version_commas "${program_version}")
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
        set(program_architecture amd64)
    else()
        set(program_architecture x86)
    endif()
    set(folder ${CMAKE_BINARY_DIR}/windows_programs)
    set(program_manifest ${folder}/${program_name}.exe.manifest)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/program.manifest.in ${program_manifest} @ONLY)
    if(P_NO_ICON)
        set(program_icon_line "")
    else()
        set(program_icon_line "1 ICON \"${TALVRIN_PROGRAM_ICON}\"")
    endif()
    set(script ${folder}/${program_name}.rc)
    configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/program.rc.in ${script} @ONLY)
    target_sources(${target} PRIVATE ${script})
    # The target may come from another folder (talvrin-image's): the property goes to its own.
    set_property(SOURCE ${script} TARGET_DIRECTORY ${target} APPEND PROPERTY OBJECT_DEPENDS
                 ${program_manifest} ${TALVRIN_PROGRAM_ICON})
endfunction()
