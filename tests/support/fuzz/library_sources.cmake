# The pattern library and what it stands on (foundation, SHA-1, the record),
# for the fuzz projects whose readers live there. A project includes it
# after fuzz_project.cmake and calls igb_fuzz_library_sources(name [more...])
# for an object library of them, linked with libplist and OpenSSL.
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBPLIST REQUIRED IMPORTED_TARGET libplist-2.0)
find_package(OpenSSL REQUIRED COMPONENTS Crypto)

function(igb_fuzz_library_sources name)
  file(GLOB sources CONFIGURE_DEPENDS ${IGB_ROOT}/platform/foundation/*.cpp ${IGB_ROOT}/library/*.cpp)
  igb_fuzz_sources(${name} ${sources} ${ARGN}
    ${IGB_ROOT}/platform/crypto/sha1.cpp
    ${IGB_ROOT}/engine/record/pattern_record.cpp
    ${IGB_ROOT}/engine/record/param_tables.cpp
    ${IGB_ROOT}/engine/record/drum_sample_info.cpp
    ${IGB_ROOT}/engine/record/init_pattern.cpp)
  target_link_libraries(${name} PUBLIC PkgConfig::LIBPLIST OpenSSL::Crypto)
endfunction()
