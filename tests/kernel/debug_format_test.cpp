// How NKDbgPrintfW and CeRuntimePrintf format: the Windows rules for string and character
// widths and integer sizes, and UTF-8 output.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "ce/debug.h"
#include "ce/host/debug_sink.h"

namespace {

using ce::host::DebugCapture;
using ce::host::DebugChannel;

// The single line one NKDbgPrintfW call printed.
template <class... Args>
std::string Kernel(const wchar_t* format, Args... args) {
    DebugCapture capture;
    NKDbgPrintfW(format, args...);
    const auto lines = capture.Lines(DebugChannel::Kernel);
    EXPECT_EQ(lines.size(), 1u) << "for a format printing one line";
    return lines.empty() ? std::string("<nothing>") : lines.front();
}

template <class... Args>
std::string Runtime(const char* format, Args... args) {
    DebugCapture capture;
    CeRuntimePrintf(format, args...);
    const auto lines = capture.Lines(DebugChannel::Runtime);
    EXPECT_EQ(lines.size(), 1u) << "for a format printing one line";
    return lines.empty() ? std::string("<nothing>") : lines.front();
}

TEST(WideFormat, StringsTakeTheFormatsWidthUnlessTheModifierSaysOtherwise) {
    EXPECT_EQ(Kernel(L"[%s]", L"wide"), "[wide]");
    EXPECT_EQ(Kernel(L"[%S]", "narrow"), "[narrow]");
    EXPECT_EQ(Kernel(L"[%hs]", "narrow"), "[narrow]");
    EXPECT_EQ(Kernel(L"[%ls]", L"wide"), "[wide]");
    EXPECT_EQ(Kernel(L"[%ws]", L"wide"), "[wide]");
    EXPECT_EQ(Kernel(L"[%hS]", "narrow"), "[narrow]");
    EXPECT_EQ(Kernel(L"[%lS]", L"wide"), "[wide]");
}

TEST(WideFormat, CharactersTakeTheFormatsWidthUnlessTheModifierSaysOtherwise) {
    EXPECT_EQ(Kernel(L"%c%C%hc%lc", L'W', 'n', 'h', L'l'), "Wnhl");
    EXPECT_EQ(Kernel(L"%c", L'\u00e9'), "\xC3\xA9");
}

TEST(WideFormat, IntegersAsTheDriverPrintsThem) {
    EXPECT_EQ(Kernel(L"%d", 42), "42");
    EXPECT_EQ(Kernel(L"%d", -7), "-7");
    EXPECT_EQ(Kernel(L"0x%x", 0xBEEFu), "0xbeef");
    EXPECT_EQ(Kernel(L"0x%X", 0xBEEFu), "0xBEEF");
    EXPECT_EQ(Kernel(L"%u", 0xFFFFFFFFu), "4294967295");
    EXPECT_EQ(Kernel(L"%i|%o", 9, 8u), "9|10");
    EXPECT_EQ(Kernel(L"%hd|%hhu", 70000, 300), "4464|44");
}

TEST(WideFormat, LongIsThirtyTwoBitsAsOnWindows) {
    const LONG minusOne = -1;
    const DWORD allOnes = 0xFFFFFFFFu;
    EXPECT_EQ(Kernel(L"%ld", minusOne), "-1");
    EXPECT_EQ(Kernel(L"%lu", allOnes), "4294967295");
    EXPECT_EQ(Kernel(L"%lx|%ld", allOnes, LONG{5}), "ffffffff|5");
}

TEST(WideFormat, SixtyFourBitAndPointerSizedIntegers) {
    const std::int64_t big = -1234567890123LL;
    EXPECT_EQ(Kernel(L"%I64d|%d", big, 3), "-1234567890123|3");
    EXPECT_EQ(Kernel(L"%lld|%d", big, 4), "-1234567890123|4");
    EXPECT_EQ(Kernel(L"%I64x", std::uint64_t{0x1122334455667788}), "1122334455667788");
    EXPECT_EQ(Kernel(L"%I32d|%d", 7, 8), "7|8");
    EXPECT_EQ(Kernel(L"%zu|%Iu", std::size_t{1} << 40, std::size_t{5}), "1099511627776|5");
}

TEST(WideFormat, PointersPrintAsFullWidthUpperCaseHex) {
    const void* pointer = reinterpret_cast<void*>(std::uintptr_t{0xABC12});
    EXPECT_EQ(Kernel(L"%p", pointer), std::string(2 * sizeof(void*) - 5, '0') + "ABC12");
}

TEST(WideFormat, WidthPrecisionAndFlags) {
    EXPECT_EQ(Kernel(L"%5d|%-5d|%05d|%+d", 42, 42, 42, 42), "   42|42   |00042|+42");
    EXPECT_EQ(Kernel(L"%*d|%-*d|", 6, 1, 3, 2), "     1|2  |");
    EXPECT_EQ(Kernel(L"%*d|", -4, 1), "1   |");
    EXPECT_EQ(Kernel(L"%.3d|%#x", 5, 255u), "005|0xff");
    EXPECT_EQ(Kernel(L"%6s|%-6S|", L"ab", "cd"), "    ab|cd    |");
    EXPECT_EQ(Kernel(L"%.3s|%.*S", L"abcdef", 2, "xyz"), "abc|xy");
    EXPECT_EQ(Kernel(L"%3c|%-3C|", L'a', 'b'), "  a|b  |");
    EXPECT_EQ(Kernel(L"%.2f|%e", 3.14159, 1.0), "3.14|1.000000e+00");
}

TEST(WideFormat, PrecisionStopsReadingAnUnterminatedString) {
    const wchar_t wide[3] = {L'a', L'b', L'c'};
    const char narrow[2] = {'x', 'y'};
    EXPECT_EQ(Kernel(L"%.3s|%.2S", wide, narrow), "abc|xy");
}

TEST(WideFormat, NullStringsPrintAsNull) {
    EXPECT_EQ(
        Kernel(L"%s|%S", static_cast<const wchar_t*>(nullptr), static_cast<const char*>(nullptr)),
        "(null)|(null)");
}

TEST(WideFormat, PercentSignsAndWhatIsNoConversion) {
    EXPECT_EQ(Kernel(L"100%%"), "100%");
    EXPECT_EQ(Kernel(L"%y|%d", 5), "%y|5");
    EXPECT_EQ(Kernel(L"end %"), "end %");
    EXPECT_EQ(Kernel(L"end %-5"), "end %-5");
}

TEST(WideFormat, PercentNWritesNothing) {
    int written = 7;
    EXPECT_EQ(Kernel(L"ab%ncd", &written), "abcd");
    EXPECT_EQ(written, 7);
}

TEST(WideFormat, WideTextBecomesUtf8) {
    EXPECT_EQ(Kernel(L"\u00e9\u20ac\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(Kernel(L"%s", L"\u00fc"), "\xC3\xBC");
    const wchar_t invalid[] = {static_cast<wchar_t>(0xD800), static_cast<wchar_t>(0x110000), 0};
    EXPECT_EQ(Kernel(L"%s", invalid), "\xEF\xBF\xBD\xEF\xBF\xBD");
    // Narrow text is taken as UTF-8 already.
    EXPECT_EQ(Kernel(L"%S", "\xC3\xA9"), "\xC3\xA9");
}

TEST(WideFormat, TheDriversTransportLines) {
    EXPECT_EQ(Kernel(L"<common><usbclient><IssueVendorTransfer>%s:WAIT_TIMEOUT on hT:0x%x\n", L"IN",
                     0x1234u),
              "<common><usbclient><IssueVendorTransfer>IN:WAIT_TIMEOUT on hT:0x1234");
    EXPECT_EQ(Kernel(L"<common><usbclient><IssueVendorTransfer> ERROR(5, BytesTransferred:%d, "
                     L"Win32 Err:%d, UsbError:0x%x)\n",
                     -1, 31, 0xFFFFFFFFu),
              "<common><usbclient><IssueVendorTransfer> ERROR(5, BytesTransferred:-1, Win32 "
              "Err:31, UsbError:0xffffffff)");
}

TEST(WideFormat, LongOutputIsNotCut) {
    const std::wstring longText(5000, L'x');
    const std::string line = Kernel(L"<%s>%d", longText.c_str(), 77);
    EXPECT_EQ(line, "<" + std::string(5000, 'x') + ">77");

    const std::wstring longFormat = std::wstring(3000, L'y') + L"%d";
    EXPECT_EQ(Kernel(longFormat.c_str(), 12), std::string(3000, 'y') + "12");
}

TEST(WideFormat, AbsurdWidthsAreBounded) {
    const std::string line = Kernel(L"%999999999d", 1);
    EXPECT_LE(line.size(), 65536u);
    EXPECT_EQ(line.back(), '1');
}

TEST(WideFormat, NullFormatPrintsNothing) {
    DebugCapture capture;
    NKDbgPrintfW(nullptr);
    EXPECT_TRUE(capture.Lines().empty());
}

TEST(NarrowFormat, StringsAndCharactersTakeNarrowByDefault) {
    EXPECT_EQ(Runtime("[%s|%S|%ls|%hs]", "n1", L"w1", L"w2", "n2"), "[n1|w1|w2|n2]");
    EXPECT_EQ(Runtime("%c%C%lc", 'a', L'\u00e9', L'b'),
              "a\xC3\xA9"
              "b");
    EXPECT_EQ(Runtime("%d!!!!", 3), "3!!!!");
    EXPECT_EQ(Runtime("%ld|%s", LONG{-1}, "next"), "-1|next");
}

TEST(NarrowFormat, ReturnsTheNumberOfBytesPrinted) {
    DebugCapture capture;
    EXPECT_EQ(CeRuntimePrintf("ab%d\n", 123), 6);
    EXPECT_EQ(CeRuntimePrintf("%S", L"\u00e9"), 2);
    EXPECT_EQ(CeRuntimePrintf(nullptr), -1);
}

}  // namespace
