# Stops a cross build early, with a clear message, when the natively built
# kvdat that compiles its sample database is missing.
if(NOT KVDAT OR NOT EXISTS "${KVDAT}")
  message(FATAL_ERROR
    "The sample database of a cross build is compiled by a natively built kvdat, "
    "but KV_HOST_KVDAT ('${KVDAT}') does not name an existing file. Build the linux "
    "preset first (cmake --preset linux && cmake --build --preset linux) or set "
    "KV_HOST_KVDAT to a kvdat built for this machine.")
endif()
