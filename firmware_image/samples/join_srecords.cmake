# Joins the parts that srec_cat made into one S-record firmware file.
#   cmake -DOUTPUT=file -DPARTS="S0=a.s|S1=b.s|...|S9=z.s" -P join_srecords.cmake
# srec_cat writes its own S0 record always with address 0000 and its S9 record without data, so
# the header of a memory section (whose address field names the memory type) and the version
# record are made as S1 records of the right address and data; their checksum does not cover the
# record type, so renaming the type is all that is left.
set(text "")
string(REPLACE "|" ";" parts "${PARTS}")
foreach(part IN LISTS parts)
  string(REGEX MATCH "^(S[019])=(.*)$" matched "${part}")
  if(NOT matched)
    message(FATAL_ERROR "join_srecords: bad part '${part}'")
  endif()
  set(type "${CMAKE_MATCH_1}")
  set(file "${CMAKE_MATCH_2}")
  # Read as text: file(STRINGS) would otherwise decode an S-record file into its data.
  file(STRINGS "${file}" lines NO_HEX_CONVERSION)
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^S1")
      message(FATAL_ERROR "join_srecords: ${file} holds '${line}', not an S1 record")
    endif()
    string(REGEX REPLACE "^S1" "${type}" line "${line}")
    string(APPEND text "${line}\r\n")
  endforeach()
endforeach()
file(WRITE "${OUTPUT}" "${text}")
