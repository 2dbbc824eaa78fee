# cmake -DBUILD_DIR=... -DSTAGE=... -DCONFIG=... -P MakePackages.cmake
# Installs the build into a staging folder and lets cpack make the packages from it. Quiet unless
# something fails; then it prints what cpack and makensis said.
foreach(var BUILD_DIR STAGE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "MakePackages.cmake needs -D${var}=...")
  endif()
endforeach()
if(NOT CONFIG)
  set(CONFIG Release)
endif()

file(REMOVE_RECURSE "${STAGE}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${STAGE}" --config "${CONFIG}"
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "installing into ${STAGE} failed:\n${out}")
endif()

get_filename_component(cmake_bin "${CMAKE_COMMAND}" DIRECTORY)
find_program(CPACK_COMMAND cpack HINTS "${cmake_bin}" NO_DEFAULT_PATH)
find_program(CPACK_COMMAND cpack REQUIRED)
execute_process(COMMAND "${CPACK_COMMAND}" --config "${BUILD_DIR}/CPackConfig.cmake" -C "${CONFIG}"
                        -D "SURFKEEP_STAGE=${STAGE}"
                WORKING_DIRECTORY "${BUILD_DIR}"
                OUTPUT_VARIABLE out ERROR_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(GLOB logs "${BUILD_DIR}/_CPack_Packages/*/*/*Output.log")
  foreach(log IN LISTS logs)
    file(READ "${log}" text)
    string(APPEND out "\n--- ${log}\n${text}")
  endforeach()
  message(FATAL_ERROR "cpack failed:\n${out}")
endif()
