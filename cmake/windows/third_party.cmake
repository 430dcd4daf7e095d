# What the Windows build takes from Debian: fmt, date and nlohmann-json header-only from the host's
# packages, SQLite and pugixml compiled from Debian's source packages (scripts/windows.sh fetches
# them into TAMSEL_WINDOWS_SOURCES). Each appears under the target name the Linux build finds.
set(TAMSEL_WINDOWS_SOURCES "" CACHE PATH "sqlite3.c/.h and pugixml.cpp/.hpp from Debian's sources")
foreach(f sqlite3.c sqlite3.h pugixml.cpp pugixml.hpp pugiconfig.hpp)
  if(NOT EXISTS "${TAMSEL_WINDOWS_SOURCES}/${f}")
    message(FATAL_ERROR "${f} not found in TAMSEL_WINDOWS_SOURCES; run scripts/windows.sh")
  endif()
endforeach()

# Only the header folders themselves: /usr/include as a whole would put glibc's headers before
# the Windows ones.
set(TAMSEL_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${TAMSEL_HOST_HEADERS})
foreach(dir fmt date nlohmann)
  if(NOT EXISTS ${TAMSEL_HOST_HEADERS}/${dir})
    file(CREATE_LINK /usr/include/${dir} ${TAMSEL_HOST_HEADERS}/${dir} SYMBOLIC)
  endif()
endforeach()

add_library(fmt::fmt INTERFACE IMPORTED)
target_include_directories(fmt::fmt SYSTEM INTERFACE ${TAMSEL_HOST_HEADERS})
target_compile_definitions(fmt::fmt INTERFACE FMT_HEADER_ONLY=1)
add_library(date::date INTERFACE IMPORTED)
target_include_directories(date::date SYSTEM INTERFACE ${TAMSEL_HOST_HEADERS})
add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
target_include_directories(nlohmann_json::nlohmann_json SYSTEM INTERFACE ${TAMSEL_HOST_HEADERS})

add_library(tamsel_win_sqlite3 STATIC ${TAMSEL_WINDOWS_SOURCES}/sqlite3.c)
target_include_directories(tamsel_win_sqlite3 SYSTEM PUBLIC ${TAMSEL_WINDOWS_SOURCES})
# Debian's own build options of the library that matter to the component.
target_compile_definitions(tamsel_win_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_ENABLE_COLUMN_METADATA
                                                      SQLITE_DEFAULT_FOREIGN_KEYS=0 SQLITE_OMIT_LOAD_EXTENSION)
target_compile_options(tamsel_win_sqlite3 PRIVATE -w)
set_target_properties(tamsel_win_sqlite3 PROPERTIES LANGUAGE C)
add_library(PkgConfig::SQLITE3 INTERFACE IMPORTED)
target_link_libraries(PkgConfig::SQLITE3 INTERFACE tamsel_win_sqlite3)

add_library(tamsel_win_pugixml STATIC ${TAMSEL_WINDOWS_SOURCES}/pugixml.cpp)
target_include_directories(tamsel_win_pugixml SYSTEM PUBLIC ${TAMSEL_WINDOWS_SOURCES})
target_compile_options(tamsel_win_pugixml PRIVATE -w)
add_library(pugixml::pugixml INTERFACE IMPORTED)
target_link_libraries(pugixml::pugixml INTERFACE tamsel_win_pugixml)
