# A delay-load import library from a MinGW import library:
#   cmake -DNM=<nm> -DDLLTOOL=<dlltool> -DIMPORT_LIBRARY=<lib<name>.a> -DDLL=<name>.dll
#         -DOUTPUT=<library> -P delay_import_library.cmake
# Every function the import library lists (a code symbol beside its __imp_ pointer; data cannot
# be delay-loaded) goes into a module definition, from which dlltool makes the library.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${NM} -g --defined-only ${IMPORT_LIBRARY} OUTPUT_VARIABLE symbols RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${NM} ${IMPORT_LIBRARY} failed")
endif()
string(REGEX MATCHALL "[0-9a-f]+ T [A-Za-z_][A-Za-z0-9_@]*" code_lines "${symbols}")
set(functions "")
foreach(line IN LISTS code_lines)
  string(REGEX REPLACE "^[0-9a-f]+ T " "" name "${line}")
  if(symbols MATCHES "[0-9a-f]+ I __imp_${name}\n")
    list(APPEND functions ${name})
  endif()
endforeach()
list(REMOVE_DUPLICATES functions)
list(SORT functions)
if(NOT functions)
  message(FATAL_ERROR "${IMPORT_LIBRARY} lists no functions")
endif()

get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
string(REPLACE ";" "\n" exports "${functions}")
file(WRITE ${OUTPUT}.def "LIBRARY ${DLL}\nEXPORTS\n${exports}\n")
execute_process(COMMAND ${DLLTOOL} --input-def ${OUTPUT}.def --dllname ${DLL} --output-delaylib ${OUTPUT}
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${DLLTOOL} failed for ${DLL}")
endif()
