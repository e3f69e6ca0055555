# Fails when the bottom layer, the controller, the records, the window or the command line
# includes a driver header: they reach the drivers only through the sensor
# table and the interfaces the sensors hand out.
#   cmake -DSOURCE_DIR=<project> -P driverincludes.cmake
cmake_minimum_required(VERSION 3.16)

# Folders whose files must not see a driver.
set(checked_dirs core controller records ui cli)
# What sensors/ offers the layers above besides its drivers.
set(allowed sensortable.h matrixstore.h crmodes.h sensorlibrary.h)

file(GLOB driver_headers RELATIVE ${SOURCE_DIR}/sensors ${SOURCE_DIR}/sensors/*.h)
list(REMOVE_ITEM driver_headers ${allowed})
if(NOT driver_headers)
    message(FATAL_ERROR "no driver header found in ${SOURCE_DIR}/sensors")
endif()

set(offences)
foreach(dir ${checked_dirs})
    if(NOT IS_DIRECTORY ${SOURCE_DIR}/${dir})
        message(FATAL_ERROR "${dir} is not a folder of ${SOURCE_DIR}: update the checked folders")
    endif()
    file(GLOB_RECURSE sources ${SOURCE_DIR}/${dir}/*.h ${SOURCE_DIR}/${dir}/*.cpp)
    foreach(source ${sources})
        file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^\">]+[\">]")
        foreach(line ${includes})
            string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*" "\\1" header "${line}")
            get_filename_component(header_name ${header} NAME)
            if(header_name IN_LIST driver_headers)
                file(RELATIVE_PATH shown ${SOURCE_DIR} ${source})
                list(APPEND offences "${shown} includes ${header}")
            endif()
        endforeach()
    endforeach()
endforeach()

if(offences)
    string(REPLACE ";" "\n  " text "${offences}")
    message(FATAL_ERROR "driver headers included above the drivers:\n  ${text}")
endif()
