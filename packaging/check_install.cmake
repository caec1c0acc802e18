# Installs the build into a scratch folder (DESTDIR) and checks the result as a user meets it:
# the program folder holds the program, the tool and both layouts; the desktop entry starts the
# installed program; the installed tool makes a database folder and names it in accpath.ini;
# the installed program, started where it lies, opens that folder and shows its bar.
#
#   cmake -DBUILD_DIR=... -DSCRATCH=... -DPROGRAM_FOLDER=... -DPREFIX=... -DSYSTEM_LAYOUT=ON|OFF
#         -P check_install.cmake

foreach(var BUILD_DIR SCRATCH PROGRAM_FOLDER PREFIX SYSTEM_LAYOUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "check_install: ${var} not given")
    endif()
endforeach()

file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
set(ENV{DESTDIR} ${SCRATCH})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} RESULT_VARIABLE rc
                OUTPUT_QUIET)
unset(ENV{DESTDIR})
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cmake --install failed (${rc})")
endif()

set(folder ${SCRATCH}${PROGRAM_FOLDER})
foreach(f orvik orvik-admin ios.rpt jios.rpt query.rpt book.rpt bills.rpt income.rpt cashflow.rpt)
    if(NOT EXISTS ${folder}/${f})
        message(FATAL_ERROR "missing in the program folder: ${folder}/${f}")
    endif()
endforeach()
foreach(f share/applications/orvik.desktop share/icons/hicolor/scalable/apps/orvik.svg)
    if(NOT EXISTS ${SCRATCH}${PREFIX}/${f})
        message(FATAL_ERROR "missing: ${SCRATCH}${PREFIX}/${f}")
    endif()
endforeach()

file(READ ${SCRATCH}${PREFIX}/share/applications/orvik.desktop desktop)
foreach(line "Exec=${PROGRAM_FOLDER}/orvik" "Name[zh_TW]=" "Categories=Office;Finance;")
    string(FIND "${desktop}" "${line}" at)
    if(at LESS 0)
        message(FATAL_ERROR "the desktop entry lacks \"${line}\":\n${desktop}")
    endif()
endforeach()

if(SYSTEM_LAYOUT)
    foreach(tool orvik orvik-admin)
        if(NOT IS_SYMLINK ${SCRATCH}${PREFIX}/bin/${tool})
            message(FATAL_ERROR "${PREFIX}/bin/${tool} is not a link")
        endif()
        file(READ_SYMLINK ${SCRATCH}${PREFIX}/bin/${tool} target)
        if(NOT target STREQUAL "${PROGRAM_FOLDER}/${tool}")
            message(FATAL_ERROR "${PREFIX}/bin/${tool} points to ${target}")
        endif()
    endforeach()
endif()

# The installed tool and program, from the scratch copy of the program folder.
set(books ${SCRATCH}/books)
foreach(step "init;${books}" "set-path;${folder};${books}")
    execute_process(COMMAND ${folder}/orvik-admin ${step} RESULT_VARIABLE rc OUTPUT_QUIET
                    ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "orvik-admin ${step} failed: ${err}")
    endif()
endforeach()
set(ENV{QT_QPA_PLATFORM} offscreen)
execute_process(COMMAND ${folder}/orvik --exit-when-shown RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 60)
if(NOT rc EQUAL 0 OR NOT out MATCHES "bar shown after")
    message(FATAL_ERROR "the installed program did not show its bar (${rc}): ${out}${err}")
endif()
file(REMOVE_RECURSE ${SCRATCH})
