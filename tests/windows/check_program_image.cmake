# Static check of a built program:
#   cmake -DOBJDUMP=<objdump> -DNM=<nm> -DPROGRAM=<exe> -DDELAY_IMPORTS=<dll>,... -P check_program_image.cmake
# A 64-bit PE32+ image for the Windows GUI subsystem, without an application manifest resource,
# that imports only KnownDLLs, delay-loads exactly DELAY_IMPORTS, and restricts its DLL search.
cmake_minimum_required(VERSION 3.25)

# The KnownDLLs of Windows 10 and 11: the value names of
#   HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs
# (see windows/system_library.h). Windows maps them from System32 whatever the search order, so
# a copy planted in the application folder is never loaded in their place.
set(KNOWN_DLLS
  advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll gdiplus.dll
  imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll
  oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll
  user32.dll wldap32.dll ws2_32.dll)

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

# --- Static imports: KnownDLLs only ------------------------------------------------------------

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(found "")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  list(APPEND found ${dll})
  if(NOT dll IN_LIST KNOWN_DLLS)
    list(APPEND problems "imports ${dll}, which is not a KnownDLL: a copy beside the program would be loaded")
  endif()
endforeach()
list(REMOVE_DUPLICATES found)
list(SORT found)
string(REPLACE ";" " " found_text "${found}")
message(STATUS "${PROGRAM} imports: ${found_text}")
if(NOT dump MATCHES "[ \t]SetDefaultDllDirectories\n")
  list(APPEND problems "does not import SetDefaultDllDirectories, so it cannot restrict its DLL search")
endif()

# --- Delay imports -----------------------------------------------------------------------------
# GNU ld 2.40 leaves the delay import directory of the PE header empty and objdump 2.40 prints
# no delay import tables, so the descriptors are found through the symbols dlltool gives them,
# __DELAY_IMPORT_DESCRIPTOR_<library>, and read from the image: each holds its attributes (1:
# addresses are RVAs, which is all MinGW's helper handles) and the RVA of the DLL's name.

execute_process(COMMAND ${NM} ${PROGRAM} OUTPUT_VARIABLE symbols ERROR_VARIABLE nm_errors RESULT_VARIABLE failed)
if(failed OR NOT symbols MATCHES " T main\n")
  message(FATAL_ERROR "${PROGRAM} has no symbol table (${nm_errors}): its delay imports cannot be listed")
endif()
string(REGEX MATCH "\nImageBase[ \t]+([0-9a-f]+)" image_base_line "${dump}")
set(image_base "0x${CMAKE_MATCH_1}")

# read_image(<out> <virtual address> <bytes>): the bytes at that address, as lower-case hex.
function(read_image out address length)
  math(EXPR stop "${address} + ${length}" OUTPUT_FORMAT HEXADECIMAL)
  execute_process(COMMAND ${OBJDUMP} -s --start-address=${address} --stop-address=${stop} ${PROGRAM}
                  OUTPUT_VARIABLE contents RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${OBJDUMP} -s at ${address} failed")
  endif()
  # Each line: address, up to four groups of hex digits, two spaces, the same bytes as text.
  string(REGEX MATCHALL "\n [0-9a-f]+ ([0-9a-f]+ )+" lines "${contents}")
  set(hex "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^\n [0-9a-f]+ " "" groups "${line}")
    string(REPLACE " " "" groups "${groups}")
    string(APPEND hex "${groups}")
  endforeach()
  set(${out} "${hex}" PARENT_SCOPE)
endfunction()

# little_endian_dword(<out> <hex> <byte offset>)
function(little_endian_dword out hex offset)
  math(EXPR at "${offset} * 2")
  set(value "")
  foreach(byte 3 2 1 0)
    math(EXPR byte_at "${at} + ${byte} * 2")
    string(SUBSTRING "${hex}" ${byte_at} 2 digits)
    string(APPEND value "${digits}")
  endforeach()
  set(${out} "0x${value}" PARENT_SCOPE)
endfunction()

string(REGEX MATCHALL "[0-9a-f]+ [A-Za-z] __DELAY_IMPORT_DESCRIPTOR_[^\n]+" descriptors "${symbols}")
set(delay_found "")
foreach(descriptor IN LISTS descriptors)
  string(REGEX MATCH "^[0-9a-f]+" address "${descriptor}")
  read_image(fields 0x${address} 8)
  little_endian_dword(attributes "${fields}" 0)
  little_endian_dword(name_rva "${fields}" 4)
  math(EXPR name_address "${image_base} + ${name_rva}" OUTPUT_FORMAT HEXADECIMAL)
  read_image(name_hex ${name_address} 64)
  # The name's characters up to its NUL.
  set(dll "")
  string(LENGTH "${name_hex}" digits)
  set(at 0)
  while(at LESS digits)
    string(SUBSTRING "${name_hex}" ${at} 2 byte)
    if(byte STREQUAL "00")
      break()
    endif()
    math(EXPR code "0x${byte}")
    string(ASCII ${code} character)
    string(APPEND dll "${character}")
    math(EXPR at "${at} + 2")
  endwhile()
  string(TOLOWER "${dll}" dll)
  list(APPEND delay_found ${dll})
  if(NOT attributes EQUAL 1)
    list(APPEND problems "delay import of ${dll} has attributes ${attributes}, not RVA-based (1)")
  endif()
endforeach()
list(REMOVE_DUPLICATES delay_found)
list(SORT delay_found)
string(TOLOWER "${DELAY_IMPORTS}" delay_expected)
string(REPLACE "," ";" delay_expected "${delay_expected}")
list(SORT delay_expected)
string(REPLACE ";" " " delay_text "${delay_found}")
message(STATUS "${PROGRAM} delay-loads: ${delay_text}")
if(NOT delay_found STREQUAL delay_expected)
  string(REPLACE ";" " " expected_text "${delay_expected}")
  list(APPEND problems "delay-loads '${delay_text}' instead of '${expected_text}'")
endif()

if(problems)
  string(REPLACE ";" "\n  " problems_text "${problems}")
  message(FATAL_ERROR "${PROGRAM}:\n  ${problems_text}")
endif()
