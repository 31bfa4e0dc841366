# cmake -DTOOL=<nm|objdump> -DFORMAT=<elf|pe> -DLIBRARY=<file> -P check_exports.cmake
set(expected
  Tavo_Autocal Tavo_Cancel_Interrupt_Notify Tavo_Clear_Input_Buffer Tavo_Clear_Output_Buffer
  Tavo_Close_DMA_Channel Tavo_Close_Handle Tavo_DMA_FROM_Buffer Tavo_DMA_TO_Buffer
  Tavo_DisableInterrupt Tavo_EnableInterrupt Tavo_FindBoards Tavo_Free_Physical_Memory
  Tavo_Get_Handle Tavo_Get_Physical_Memory Tavo_Initialize Tavo_Open_DMA_Channel
  Tavo_Read_Local32 Tavo_Register_Interrupt_Notify Tavo_Set_Input_Mode Tavo_Set_Output_Mode
  Tavo_Write_Local32)

if(FORMAT STREQUAL "elf")
  execute_process(COMMAND ${TOOL} -D --defined-only ${LIBRARY}
                  OUTPUT_VARIABLE listing RESULT_VARIABLE result)
else()
  execute_process(COMMAND ${TOOL} -p ${LIBRARY} OUTPUT_VARIABLE listing RESULT_VARIABLE result)
endif()
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${TOOL} failed on ${LIBRARY}: ${result}")
endif()

string(REPLACE "\n" ";" lines "${listing}")
set(exported)
if(FORMAT STREQUAL "elf")
  # "<address> <type> <name>"
  foreach(line IN LISTS lines)
    if(line MATCHES "^[0-9a-fA-F]+ [A-Za-z] ([^ ]+)$")
      list(APPEND exported "${CMAKE_MATCH_1}")
    endif()
  endforeach()
else()
  # The name pointer table of the export directory: "\t[   0] +base[   1] 0000 Name",
  # or "\t[   0] Name" with older binutils.
  set(in_table FALSE)
  foreach(line IN LISTS lines)
    if(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
      set(in_table TRUE)
    elseif(in_table AND line MATCHES "^[ \t]+\\[ *[0-9]+\\] (.+)$")
      string(REGEX REPLACE ".* " "" name "${CMAKE_MATCH_1}")
      list(APPEND exported "${name}")
    elseif(in_table)
      set(in_table FALSE)
    endif()
  endforeach()
endif()

list(SORT exported)
list(SORT expected)
if(NOT exported STREQUAL expected)
  set(missing ${expected})
  list(REMOVE_ITEM missing ${exported})
  set(extra ${exported})
  list(REMOVE_ITEM extra ${expected})
  message(FATAL_ERROR "Export table of ${LIBRARY} differs.\n  missing: ${missing}\n  extra: ${extra}")
endif()
list(LENGTH exported count)
message(STATUS "${LIBRARY}: exactly the ${count} Tavo_ exports")
