# Static check of a built program: cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -P check_program_image.cmake
cmake_minimum_required(VERSION 3.25)
# A 64-bit PE32+ image for the Windows GUI subsystem, without an application manifest resource,
# importing only DLLs that every Windows system has.

set(SYSTEM_DLLS
  kernel32.dll msvcrt.dll user32.dll advapi32.dll shell32.dll
  ole32.dll oleaut32.dll propsys.dll setupapi.dll cfgmgr32.dll newdev.dll bcrypt.dll
  avrt.dll winmm.dll ksuser.dll)

execute_process(COMMAND ${OBJDUMP} -p ${PROGRAM} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} -p ${PROGRAM} failed")
endif()

set(problems "")
if(NOT dump MATCHES "file format pei-x86-64")
  list(APPEND problems "not a PE32+ x86-64 image")
endif()
if(NOT dump MATCHES "\nSubsystem[ \t]+00000002[ \t]+\\(Windows GUI\\)")
  list(APPEND problems "subsystem is not Windows GUI (2)")
endif()
# Top-level entries of the resource directory are resource types; 24 (0x18) is RT_MANIFEST.
if(dump MATCHES "\n[0-9a-f]+   Entry: ID: 0x000018,")
  list(APPEND problems "carries an application manifest resource (RT_MANIFEST)")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(found "")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  list(APPEND found ${dll})
  if(NOT dll IN_LIST SYSTEM_DLLS)
    list(APPEND problems "imports ${dll}, which is not a Windows system DLL")
  endif()
endforeach()
list(REMOVE_DUPLICATES found)
list(SORT found)
string(REPLACE ";" " " found_text "${found}")
message(STATUS "${PROGRAM} imports: ${found_text}")

if(problems)
  string(REPLACE ";" "\n  " problems_text "${problems}")
  message(FATAL_ERROR "${PROGRAM}:\n  ${problems_text}")
endif()
