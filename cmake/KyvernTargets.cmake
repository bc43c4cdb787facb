# kyvern_library(NAME DEPS...): one static library per source folder, from every .cpp in it.
function(kyvern_library name)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PUBLIC ${ARGN} PRIVATE kyvern_warnings)
endfunction()

# kyvern_test_folder(NAME LABEL DEPS...): one test executable per test folder.
function(kyvern_test_folder name label)
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
    add_executable(${name} ${sources})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARGN} GTest::gtest GTest::gtest_main GTest::gmock
                          kyvern_warnings)
    target_compile_definitions(${name} PRIVATE
        KYVERN_CLI_PATH="$<TARGET_FILE:kyvern-cli>")
    add_dependencies(${name} kyvern-cli)
    gtest_discover_tests(${name} PROPERTIES LABELS ${label} DISCOVERY_TIMEOUT 60)
endfunction()

# kyvern_existing_libraries(OUT): every library target defined so far, top layer first, for the
# programs that link the whole stack (the CLI, tests of the CLI, benchmarks, fuzz targets).
function(kyvern_existing_libraries out)
    set(libs)
    foreach(lib kyvern_app kyvern_sim kyvern_links kyvern_store kyvern_data kyvern_shot kyvern_flight
                kyvern_capture kyvern_analysis kyvern_frame kyvern_base)
        if(TARGET ${lib})
            list(APPEND libs ${lib})
        endif()
    endforeach()
    set(${out} ${libs} PARENT_SCOPE)
endfunction()
