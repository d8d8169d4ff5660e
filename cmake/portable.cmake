# Stages the portable package and zips it: cmake -DX86=... -DX64=... -DDEMO=... -DDEMO_FILES=...
# -DREADME=... -DOUT=... -DNAME=... -P portable.cmake
foreach(var X86 X64 REPORT DEMO DEMO_FILES README OUT NAME)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "portable: ${var} is not given")
  endif()
endforeach()
foreach(file ${X86} ${X64} ${REPORT} ${DEMO} ${README})
  if(NOT EXISTS ${file})
    message(FATAL_ERROR "portable: ${file} is missing")
  endif()
endforeach()

set(stage ${OUT}/${NAME})
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${stage}/x64 ${stage}/demo)
# The shipped program at the top; the x64 build beside it in a folder of its own, so that each
# keeps its own Tavrin.ini.
file(COPY_FILE ${X86} ${stage}/Tavrin.exe)
file(COPY_FILE ${X64} ${stage}/x64/Tavrin.exe)
file(COPY_FILE ${DEMO} ${stage}/demo/TavrinDemo.exe)
# The shift's report from the result logs, for whoever reads them.
file(COPY_FILE ${REPORT} ${stage}/tavrin-report.exe)
file(GLOB demo_files ${DEMO_FILES}/*)
file(COPY ${demo_files} DESTINATION ${stage}/demo)
# The read-me with Windows line ends, for Notepad.
file(READ ${README} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${stage}/README.txt "${text}")

execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUT}/${NAME}-windows.zip --format=zip ${NAME}
                WORKING_DIRECTORY ${OUT} RESULT_VARIABLE zipped)
if(NOT zipped EQUAL 0)
  message(FATAL_ERROR "portable: the zip could not be made")
endif()
message(STATUS "portable: ${OUT}/${NAME}-windows.zip")
