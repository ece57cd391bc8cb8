// The panel's form of a vendor command and its framing, and the bounded wide-string copy.
#include <gtest/gtest.h>

#include <string>

#include "device/vendor_command_request.h"
#include "device/wide_string.h"

namespace paneltest {
namespace {

using Bytes = std::vector<BYTE>;

TEST(VendorCommandRequest, FramesItsPayloadByteForByteUpToOnePacket) {
    const BYTE one = 1;
    const auto bracket = MakeVendorCommand(1, 0x71, 0, &one, 1);
    ASSERT_TRUE(bracket);
    EXPECT_EQ(SerializeVendorCommand(*bracket), (Bytes{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74}));
    const auto read = MakeVendorCommand(2, 0x30, 1, nullptr, 0);
    ASSERT_TRUE(read);
    EXPECT_EQ(SerializeVendorCommand(*read), (Bytes{0xAA, 0x02, 0x30, 0x01, 0x01, 0x33}));

    Bytes data{9, 8, 7};
    const auto copied = MakeVendorCommand(1, 0x15, 1, data.data(), 3);
    data[0] = 0;  // the request owns its copy
    ASSERT_TRUE(copied);
    EXPECT_EQ(copied->Payload, (Bytes{1, 9, 8, 7}));

    const Bytes record(58, 0x5A);
    const auto full = MakeVendorCommand(1, 0x31, 1, record.data(), 58);
    ASSERT_TRUE(full);
    const Bytes framed = SerializeVendorCommand(*full);
    ASSERT_EQ(framed.size(), 64u);
    EXPECT_EQ(framed[3], 59) << "payload length: index and data";
    EXPECT_FALSE(MakeVendorCommand(1, 0x31, 1, Bytes(59).data(), 59)) << "one byte too many";
    EXPECT_FALSE(MakeVendorCommand(1, 0x31, 1, nullptr, 1)) << "a length without data";
    EXPECT_TRUE(SerializeVendorCommand(VendorCommandRequest{1, 0x71, {}}).empty());
    EXPECT_TRUE(SerializeVendorCommand(VendorCommandRequest{1, 0x31, Bytes(60, 0)}).empty());
}

TEST(VendorCommandRequest, TheLowNibbleOfTheClassGivesTheKind) {
    const struct {
        BYTE cls;
        bool write;
        bool read;
    } cases[] = {{0x01, true, false}, {0x02, false, true},  {0x11, true, false},
                 {0x22, false, true}, {0x00, false, false}, {0x03, false, false},
                 {0x10, false, false}};
    for (const auto& c : cases) {
        const auto request = MakeVendorCommand(c.cls, 0x30, 0, nullptr, 0);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->IsWrite(), c.write) << int{c.cls};
        EXPECT_EQ(request->IsRead(), c.read) << int{c.cls};
    }
}

TEST(WideString, CopyIsBoundedByTheCountTheSourceAndTheDestination) {
    EXPECT_EQ(WideStringLength(nullptr), 0u);
    EXPECT_EQ(WideStringLength(L"OTS1:"), 5u);
    const WCHAR unterminated[3] = {L'a', L'b', L'c'};
    const struct {
        const char* name;
        std::size_t room;
        const WCHAR* source;
        std::size_t count;
        const wchar_t* copied;  // nullptr: the destination is left alone
    } cases[] = {{"the count", 8, L"OTS1:", 3, L"OTS"},
                 {"the source's end", 8, L"OTS1:", 100, L"OTS1:"},
                 {"room for the terminator", 4, L"OTS1:", 100, L"OTS"},
                 {"unterminated source", 8, unterminated, 3, L"abc"},
                 {"no source", 2, nullptr, 3, L""},
                 {"room for the terminator only", 1, L"abc", 3, L""},
                 {"no room", 0, L"abc", 3, nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WCHAR dest[9];
        std::wmemset(dest, L'#', 9);
        const std::size_t copied = WideStringCopy(dest, c.room, c.source, c.count);
        if (c.copied == nullptr) {
            EXPECT_EQ(copied, 0u);
            EXPECT_EQ(dest[0], L'#');
            continue;
        }
        EXPECT_EQ(std::wstring(dest), c.copied);
        EXPECT_EQ(copied, std::wstring(c.copied).size());
        EXPECT_EQ(dest[copied + 1], L'#') << "nothing written past the terminator";
    }
    EXPECT_EQ(WideStringCopy(nullptr, 2, L"abc", 3), 0u);
}

}  // namespace
}  // namespace paneltest
