// The callee-pops twins of the exports (Windows only): each takes the same
// arguments as its plain function, calls it and returns what it returns. The
// .def file exports "<name>_stdcall@<bytes>" as "_<name>_stdcall@<bytes>".
#include "engine/export_list.h"
#include "kvserver.h"

#if defined(_WIN32)

#include <cstddef>
#include <cstdint>

namespace {

// The bytes a callee-pops function of this type pops: each argument takes a
// whole number of 4-byte stack slots on 32-bit x86. The twins' names carry
// it, so a wrong count in the list fails the 32-bit build.
template <typename Function>
struct ArgumentBytes;
template <typename Result, typename... Parameters>
struct ArgumentBytes<Result KV_CDECL(Parameters...)> {
  static constexpr size_t value = (size_t{0} + ... + ((sizeof(Parameters) + 3) / 4 * 4));
};

}  // namespace

#define KV_NO_TWIN(result, name, parameters, arguments)
#define KV_HAND_TWIN(result, name, parameters, arguments, bytes)
#define KV_DECORATED(result, name, parameters, arguments, win32_name, win64_name)
#if defined(_WIN64)
#define KV_CHECK_BYTES(name, bytes)
#else
#define KV_CHECK_BYTES(name, bytes)                              \
  static_assert(ArgumentBytes<decltype(name)>::value == (bytes), \
                #name ": the argument bytes of its twin's name are wrong");
#endif
#define KV_DEFINE_TWIN(result, name, parameters, arguments, bytes) \
  KV_CHECK_BYTES(name, bytes)                                      \
  extern "C" result KV_STDCALL name##_stdcall parameters { return name arguments; }

KV_EXPORT_LIST(KV_NO_TWIN, KV_DEFINE_TWIN, KV_HAND_TWIN, KV_DECORATED)

#endif  // _WIN32
