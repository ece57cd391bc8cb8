#include "device/wide_string.h"

#include <gtest/gtest.h>

#include <string>

namespace paneltest {
namespace {

TEST(WideString, LengthCountsCharactersAndANullPointerIsEmpty) {
    EXPECT_EQ(WideStringLength(nullptr), 0u);
    EXPECT_EQ(WideStringLength(L""), 0u);
    EXPECT_EQ(WideStringLength(L"OTS1:"), 5u);
}

TEST(WideString, CopyIsBoundedByTheCountTheSourceAndTheDestination) {
    WCHAR dest[8];
    std::wmemset(dest, L'#', 8);
    EXPECT_EQ(WideStringCopy(dest, 8, L"OTS1:", 3), 3u) << "the count, in characters";
    EXPECT_EQ(std::wstring(dest), L"OTS");
    EXPECT_EQ(dest[4], L'#') << "nothing written past the terminator";

    EXPECT_EQ(WideStringCopy(dest, 8, L"OTS1:", 100), 5u) << "the source's own end";
    EXPECT_EQ(std::wstring(dest), L"OTS1:");

    EXPECT_EQ(WideStringCopy(dest, 4, L"OTS1:", 100), 3u) << "room for the terminator";
    EXPECT_EQ(std::wstring(dest), L"OTS");
}

TEST(WideString, CopyWithoutRoomOrSourceWritesOnlyWhatFits) {
    WCHAR dest[2] = {L'#', L'#'};
    EXPECT_EQ(WideStringCopy(dest, 0, L"abc", 3), 0u);
    EXPECT_EQ(dest[0], L'#');
    EXPECT_EQ(WideStringCopy(dest, 2, nullptr, 3), 0u);
    EXPECT_EQ(dest[0], L'\0');
    EXPECT_EQ(WideStringCopy(nullptr, 2, L"abc", 3), 0u);
    EXPECT_EQ(WideStringCopy(dest, 1, L"abc", 3), 0u);
    EXPECT_EQ(dest[0], L'\0');
}

TEST(WideString, CopyReadsNoFurtherThanTheCountInAnUnterminatedSource) {
    const WCHAR unterminated[3] = {L'a', L'b', L'c'};
    WCHAR dest[8] = {};
    EXPECT_EQ(WideStringCopy(dest, 8, unterminated, 3), 3u);
    EXPECT_EQ(std::wstring(dest), L"abc");
}

}  // namespace
}  // namespace paneltest
