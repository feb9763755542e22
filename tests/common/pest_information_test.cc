// Detection records: what they copy, and that each string is an array of
// its own (released by the sanitizer build's checked delete[]).
#include "common/pest_information.h"

#include <gtest/gtest.h>

#include <initializer_list>

namespace kv {
namespace {

TEST(PestInformation, CopiesIdPvtAndBothStrings) {
  char name[] = "Some.Pest";
  const _PEST_SIGNATURE signature{7, 0xFEEDFACE, 1, 2, 3, 4, name};
  char file[] = "C:\\scan\\file.exe";
  for (const char* file_name : std::initializer_list<const char*>{file, "", nullptr}) {
    _PEST_INFORMATION* record = NewPestInformation(signature, file_name);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->dwPestID, 7u);
    EXPECT_EQ(record->dwPVT, 0xFEEDFACEu);
    EXPECT_STREQ(record->lpszPestName, "Some.Pest");
    EXPECT_NE(record->lpszPestName, name);
    ASSERT_NE(record->lpszFileName, nullptr);
    EXPECT_STREQ(record->lpszFileName, file_name == nullptr ? "" : file_name);
    EXPECT_NE(record->lpszFileName, file);
    EXPECT_EQ(record->bSizeMatch, 0);
    EXPECT_EQ(record->dwReserved[0] | record->dwReserved[1] | record->dwReserved[2], 0u);
    DeletePestInformation(record);
  }
  DeletePestInformation(nullptr);
}

}  // namespace
}  // namespace kv
