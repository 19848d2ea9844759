# Third-party libraries, as imported targets the logic libraries link:
#   znt::http       transfers (libcurl here; WinINet on Windows)
#   znt::zip        archive reading (libzip and zlib here; zlib's inflate on Windows:
#                   src/archive has a reader over each, the zlib one built everywhere)
#   znt::signature  Ed25519, BLAKE2b and SHA-256 (libsodium here; libgcrypt on
#                   Windows), behind src/catalogue/Crypto.h; ZNT_SIGNATURE_BACKEND
#                   names the one built (gcrypt can be chosen here to test it)
# Debian packages MinGW builds of zlib and libgcrypt, not of libcurl, libzip
# or libsodium; the Windows side uses what the system or those packages give.

if(WIN32)
  set(ZLIB_USE_STATIC_LIBS ON)
  find_package(ZLIB REQUIRED)
  find_library(ZNT_GCRYPT_LIBRARY NAMES libgcrypt.a gcrypt REQUIRED)
  find_library(ZNT_GPG_ERROR_LIBRARY NAMES libgpg-error.a gpg-error REQUIRED)
  find_path(ZNT_GCRYPT_INCLUDE gcrypt.h REQUIRED)

  add_library(znt::http INTERFACE IMPORTED)
  target_link_libraries(znt::http INTERFACE wininet)
  add_library(znt::zip INTERFACE IMPORTED)
  target_link_libraries(znt::zip INTERFACE ZLIB::ZLIB)
  add_library(znt::signature INTERFACE IMPORTED)
  target_include_directories(znt::signature INTERFACE ${ZNT_GCRYPT_INCLUDE})
  target_link_libraries(znt::signature INTERFACE ${ZNT_GCRYPT_LIBRARY} ${ZNT_GPG_ERROR_LIBRARY} ws2_32)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(CURL REQUIRED IMPORTED_TARGET GLOBAL libcurl)
  pkg_check_modules(LIBZIP REQUIRED IMPORTED_TARGET GLOBAL libzip)
  find_package(ZLIB REQUIRED)
  add_library(znt::http ALIAS PkgConfig::CURL)
  add_library(znt::zip INTERFACE IMPORTED)
  target_link_libraries(znt::zip INTERFACE PkgConfig::LIBZIP ZLIB::ZLIB)
endif()

if(WIN32)
  set(ZNT_SIGNATURE_BACKEND gcrypt)
else()
  set(ZNT_SIGNATURE_BACKEND sodium CACHE STRING "Library behind the signature checks: sodium or gcrypt")
  set_property(CACHE ZNT_SIGNATURE_BACKEND PROPERTY STRINGS sodium gcrypt)
  if(ZNT_SIGNATURE_BACKEND STREQUAL "gcrypt")
    pkg_check_modules(GCRYPT REQUIRED IMPORTED_TARGET GLOBAL libgcrypt gpg-error)
    add_library(znt::signature ALIAS PkgConfig::GCRYPT)
  elseif(ZNT_SIGNATURE_BACKEND STREQUAL "sodium")
    pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET GLOBAL libsodium)
    add_library(znt::signature ALIAS PkgConfig::SODIUM)
  else()
    message(FATAL_ERROR "ZNT_SIGNATURE_BACKEND must be sodium or gcrypt")
  endif()
endif()
