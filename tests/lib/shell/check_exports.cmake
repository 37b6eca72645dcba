# Compares the dynamic symbols that LIBRARY defines with the decoder's interface.
execute_process(COMMAND nm -D --defined-only ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[0-9a-fA-F]+ [A-Za-z] [^\n]+" lines "${out}")
set(found "")
foreach(line ${lines})
  string(REGEX REPLACE "^[0-9a-fA-F]+ [A-Za-z] " "" name "${line}")
  list(APPEND found ${name})
endforeach()
list(SORT found)
set(expected
  DUMP_INFO ZQ_SVACDEC_ZQ_SVAC_get_output_frame ZQ_SVACDEC_ZQ_SVAC_release_output_frame
  ZQ_SVAC_Dec_Close ZQ_SVAC_Dec_DeInit ZQ_SVAC_Dec_Decode ZQ_SVAC_Dec_GetCPUCaps
  ZQ_SVAC_Dec_GetVersion ZQ_SVAC_Dec_Init ZQ_SVAC_Dec_Open ZQ_SVAC_Get_LastFrame
  ZQ_SVAC_Set_Key dump_b dump_coefs dump_i dump_p)
list(SORT expected)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "exported: ${found}\nexpected: ${expected}")
endif()
