# Copies every track's learned racing lines from the data root FROM into the
# data root TO; fails when FROM holds none.
file(GLOB _lines RELATIVE ${FROM} ${FROM}/tracks/*/lines_*)
if(NOT _lines)
  message(FATAL_ERROR "no racing lines under ${FROM}/tracks")
endif()
foreach(f IN LISTS _lines)
  get_filename_component(_dir ${TO}/${f} DIRECTORY)
  file(COPY ${FROM}/${f} DESTINATION ${_dir})
endforeach()
