# The build's version: the project's version and the commit it was built from, written at
# configure time into BuildVersion.h (target build_version). Without git, or outside a
# checkout, the commit is "unknown".
find_package(Git QUIET)
set(TAVRONA_COMMIT "unknown")
if(GIT_FOUND)
    execute_process(
        COMMAND ${GIT_EXECUTABLE} rev-parse --short=12 HEAD
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        OUTPUT_VARIABLE commit
        ERROR_QUIET
        RESULT_VARIABLE failed
        OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT failed AND commit MATCHES "^[0-9a-f]+$")
        set(TAVRONA_COMMIT "${commit}")
        execute_process(
            COMMAND ${GIT_EXECUTABLE} status --porcelain --untracked-files=no
            WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
            OUTPUT_VARIABLE dirty
            ERROR_QUIET)
        if(dirty)
            string(APPEND TAVRONA_COMMIT "-modified")
        endif()
    endif()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/BuildVersion.h.in
               ${CMAKE_BINARY_DIR}/generated/BuildVersion.h @ONLY)
add_library(build_version INTERFACE)
target_include_directories(build_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
