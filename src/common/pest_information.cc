// Making and releasing detection records. Each string is its own array and
// the record its own object, so that the release order is the documented
// one: file name, pest name, record.
#include "common/pest_information.h"

#include <cstring>
#include <new>

namespace kv {
namespace {

char* CopyString(const char* text) {
  const size_t length = text == nullptr ? 0 : std::strlen(text);
  char* copy = new (std::nothrow) char[length + 1];
  if (copy == nullptr) return nullptr;
  if (length > 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

}  // namespace

_PEST_INFORMATION* NewPestInformation(const _PEST_SIGNATURE& signature, const char* file_name) {
  auto* record = new (std::nothrow) _PEST_INFORMATION{};
  if (record == nullptr) return nullptr;
  record->dwPestID = signature.dwPestID;
  record->dwPVT = signature.dwPVT;
  record->lpszFileName = CopyString(file_name);
  record->lpszPestName = CopyString(signature.lpszPestName);
  if (record->lpszFileName == nullptr || record->lpszPestName == nullptr) {
    DeletePestInformation(record);
    return nullptr;
  }
  return record;
}

void DeletePestInformation(_PEST_INFORMATION* record) {
  if (record == nullptr) return;
  delete[] record->lpszFileName;
  delete[] record->lpszPestName;
  delete record;
}

}  // namespace kv
