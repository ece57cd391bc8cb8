// The panel's form of a vendor command and its framing.
#include <gtest/gtest.h>

#include "device/vendor_command_request.h"

namespace paneltest {
namespace {

using Bytes = std::vector<BYTE>;

TEST(VendorCommandRequest, FramesTheBracketAndBlockReadCommandsByteForByte) {
    const BYTE one = 1;
    const auto bracket = MakeVendorCommand(1, 0x71, 0, &one, 1);
    ASSERT_TRUE(bracket);
    EXPECT_EQ(SerializeVendorCommand(*bracket), (Bytes{0xAA, 0x01, 0x71, 0x02, 0x00, 0x01, 0x74}));
    const auto read = MakeVendorCommand(2, 0x30, 1, nullptr, 0);
    ASSERT_TRUE(read);
    EXPECT_EQ(SerializeVendorCommand(*read), (Bytes{0xAA, 0x02, 0x30, 0x01, 0x01, 0x33}));
}

TEST(VendorCommandRequest, PayloadIsTheIndexThenACopyOfTheData) {
    Bytes data{9, 8, 7};
    const auto request = MakeVendorCommand(1, 0x15, 1, data.data(), 3);
    data[0] = 0;  // the request owns its copy
    ASSERT_TRUE(request);
    EXPECT_EQ(request->bClass, 1);
    EXPECT_EQ(request->bCode, 0x15);
    EXPECT_EQ(request->Payload, (Bytes{1, 9, 8, 7}));
    EXPECT_EQ(request->PayloadLength(), 4u);
    EXPECT_EQ(request->FramedLength(), 9u);
    EXPECT_EQ(SerializeVendorCommand(*request).size(), 9u);
}

TEST(VendorCommandRequest, AFullRecordFillsOnePacketAndOneByteMoreIsRefused) {
    const Bytes record(58, 0x5A);
    const auto full = MakeVendorCommand(1, 0x31, 1, record.data(), 58);
    ASSERT_TRUE(full);
    const Bytes framed = SerializeVendorCommand(*full);
    ASSERT_EQ(framed.size(), 64u);
    EXPECT_EQ(framed[3], 59) << "payload length: index and data";
    unsigned sum = 0x55;
    for (std::size_t i = 0; i < 63; ++i) {
        sum += framed[i];
    }
    EXPECT_EQ(framed[63], static_cast<BYTE>(sum));

    const Bytes tooLong(59, 0);
    EXPECT_FALSE(MakeVendorCommand(1, 0x31, 1, tooLong.data(), 59));
    EXPECT_FALSE(MakeVendorCommand(1, 0x31, 1, nullptr, 1)) << "a length without data";
}

TEST(VendorCommandRequest, TheLowNibbleOfTheClassGivesTheKind) {
    struct Case {
        BYTE cls;
        bool write;
        bool read;
    };
    for (const Case c : {Case{0x01, true, false}, Case{0x02, false, true}, Case{0x11, true, false},
                         Case{0x22, false, true}, Case{0x00, false, false},
                         Case{0x03, false, false}, Case{0x10, false, false}}) {
        const auto request = MakeVendorCommand(c.cls, 0x30, 0, nullptr, 0);
        ASSERT_TRUE(request);
        EXPECT_EQ(request->IsWrite(), c.write) << int{c.cls};
        EXPECT_EQ(request->IsRead(), c.read) << int{c.cls};
    }
}

TEST(VendorCommandRequest, MalformedRequestsSerializeToNothing) {
    EXPECT_TRUE(SerializeVendorCommand(VendorCommandRequest{1, 0x71, {}}).empty());
    EXPECT_TRUE(SerializeVendorCommand(VendorCommandRequest{1, 0x31, Bytes(60, 0)}).empty());
    EXPECT_EQ(SerializeVendorCommand(VendorCommandRequest{1, 0x31, Bytes(59, 0)}).size(), 64u);
}

}  // namespace
}  // namespace paneltest
