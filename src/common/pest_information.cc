// Making and releasing detection records. Each string is its own array and
// the record its own object, so that the release order is the documented
// one: file name, pest name, record.
#include "common/pest_information.h"

#include <cstring>
#include <memory>

namespace kv {
namespace {

char* CopyString(const char* text) {
  const size_t length = text == nullptr ? 0 : std::strlen(text);
  char* copy = new char[length + 1];
  if (length > 0) std::memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

struct PestInformationDeleter {
  void operator()(_PEST_INFORMATION* record) const { DeletePestInformation(record); }
};

}  // namespace

_PEST_INFORMATION* NewPestInformation(const _PEST_SIGNATURE& signature, const char* file_name) {
  // Owned here until whole: a copy that throws releases what came before.
  std::unique_ptr<_PEST_INFORMATION, PestInformationDeleter> record(new _PEST_INFORMATION{});
  record->dwPestID = signature.dwPestID;
  record->dwPVT = signature.dwPVT;
  record->lpszFileName = CopyString(file_name);
  record->lpszPestName = CopyString(signature.lpszPestName);
  return record.release();
}

void DeletePestInformation(_PEST_INFORMATION* record) {
  if (record == nullptr) return;
  delete[] record->lpszFileName;
  delete[] record->lpszPestName;
  delete record;
}

}  // namespace kv
