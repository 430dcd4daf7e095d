# Installs the built Tamsel into a scratch prefix and moves the prefix elsewhere, then builds the
# consumer against the moved prefix with CMake and with pkg-config, and runs the installed tool
# and SQLite extension from there: nothing may depend on where the prefix was first put.
file(REMOVE_RECURSE ${WORK})
unset(ENV{LD_LIBRARY_PATH})
set(prefix ${WORK}/moved)

function(step what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(rc)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

step("install" ${CMAKE_COMMAND} --install ${BUILD} --prefix ${WORK}/prefix)
file(RENAME ${WORK}/prefix ${prefix})
file(GLOB_RECURSE pc_file ${prefix}/*/tamsel.pc)
get_filename_component(pc_dir ${pc_file} DIRECTORY)
get_filename_component(libdir ${pc_dir} DIRECTORY)

step("configuring the consumer" ${CMAKE_COMMAND} -S ${SOURCE} -B ${WORK}/build
     -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release
     -DCMAKE_CXX_FLAGS=${CXX_FLAGS} -DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS})
step("building the consumer" ${CMAKE_COMMAND} --build ${WORK}/build)
step("the consumer" ${WORK}/build/consumer)

# The .pc file alone must be enough for a plain compiler line, C++ standard included.
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
step("pkg-config" pkg-config --cflags --libs tamsel)
separate_arguments(pc_flags UNIX_COMMAND "${out}")
separate_arguments(extra UNIX_COMMAND "${CXX_FLAGS}")
step("building the consumer with pkg-config" c++ ${SOURCE}/main.cc -o ${WORK}/pc-consumer
     ${pc_flags} ${extra} -Wl,-rpath,${libdir})
step("the pkg-config consumer" ${WORK}/pc-consumer)

step("tamsel --version" ${prefix}/bin/tamsel --version)
if(NOT out MATCHES "^tamsel [0-9]+\\.[0-9]+\\.[0-9]+\n$")
  message(FATAL_ERROR "unexpected version line: ${out}")
endif()
step("tamsel init" ${prefix}/bin/tamsel --db ${WORK}/t.db init)

# The README's example programs, built the way a client builds them, on the demo data.
step("configuring the examples" ${CMAKE_COMMAND} -S ${EXAMPLES} -B ${WORK}/examples
     -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_BUILD_TYPE=Release
     -DCMAKE_CXX_FLAGS=${CXX_FLAGS} -DCMAKE_EXE_LINKER_FLAGS=${CXX_FLAGS})
step("building the examples" ${CMAKE_COMMAND} --build ${WORK}/examples)
step("tamsel init --demo-data" ${prefix}/bin/tamsel --db ${WORK}/demo.db init --demo-data)
foreach(example price_lookup cheapest_vendor save_with_conflict)
  step("the example ${example}" ${WORK}/examples/${example} ${WORK}/demo.db)
endforeach()
# A sanitized extension cannot be loaded into the plain sqlite3 shell; without ODBC there is none.
if(CXX_FLAGS OR NOT EXISTS ${libdir}/tamsel/libtamsel_sqlite_ext.so)
  return()
endif()
step("loading the SQLite extension" sqlite3 :memory: ".load ${libdir}/tamsel/libtamsel_sqlite_ext"
     "select 'a' = 'A  ' collate tamsel_text")
if(NOT out STREQUAL "1\n")
  message(FATAL_ERROR "the extension's collation answered: ${out}")
endif()
